REM Function calls: 32M calls of a function of three arguments.
S% = 0
FOR I% = 1 TO 32000000
  S% = FNmix(S%, I%, 3)
NEXT
F% = OPENOUT("brandy.out") : BPUT#F%, STR$(S%) : CLOSE#F%
END
DEF FNmix(A%, B%, C%) = (A% + B% * C%) MOD 1000003
