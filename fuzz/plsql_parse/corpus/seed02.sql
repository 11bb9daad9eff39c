declare
  n number := 0;
  s varchar2(10);
begin
  for i in 1 .. 3 loop n := n + i; end loop;
  while n > 0 loop n := n - 1; exit when n = 2; end loop;
  if n = 2 then s := 'two'; elsif n = 1 then null; else s := null; end if;
  select ename into s from emp where empno = n;
  insert into t (a) values (n);
end;