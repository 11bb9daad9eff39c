create procedure p_two(rc1 out sys_refcursor, n number default 1, rc2 in out nocopy sys_refcursor) is
begin open rc1 for select * from emp where deptno = n; raise_application_error(-20001, 'x'); end;