begin "Quoted".x(a => 1, b => :"b"); end; -- c
/* d */