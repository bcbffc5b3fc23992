REM Recursive fib(36).
R% = FNfib(36)
F% = OPENOUT("brandy.out") : BPUT#F%, STR$(R%) : CLOSE#F%
END
DEF FNfib(N%)
IF N% < 2 THEN = N%
= FNfib(N% - 1) + FNfib(N% - 2)
