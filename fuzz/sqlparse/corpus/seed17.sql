SELECT a || 'x', -c, (e + f) * g / h - 1, f(a, b), EXTRACT(YEAR FROM d) FROM t -- c
