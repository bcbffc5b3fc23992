REM Arithmetic loop: 120M iterations of a modulo, a multiply and an add.
S% = 0
FOR I% = 1 TO 120000000
  S% = S% + (I% MOD 7) * 3
NEXT
F% = OPENOUT("brandy.out") : BPUT#F%, STR$(S%) : CLOSE#F%
