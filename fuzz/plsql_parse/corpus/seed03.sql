create or replace package body pkg as
  procedure proc(a in number, b out varchar2) is begin b := to_char(a); end;
  function fn(a number) return varchar2 is begin return case when a > 0 then 'p' end; end;
end pkg;