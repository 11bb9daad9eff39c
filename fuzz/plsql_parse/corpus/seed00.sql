begin
:1:=f_add(:2);
end;