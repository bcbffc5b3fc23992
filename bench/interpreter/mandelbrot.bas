REM Mandelbrot: 200x200 points, at most 256 iterations each, ten times over. Printed, per
REM round: the iterations in thousands and the points inside in hundreds (single and double
REM precision agree there).
T% = 0
IN% = 0
FOR R% = 1 TO 10
  FOR Y% = 0 TO 199
    CI = Y% * 0.01 - 1.0
    FOR X% = 0 TO 199
      CR = X% * 0.015 - 2.0
      ZR = 0.0
      ZI = 0.0
      ZR2 = 0.0
      ZI2 = 0.0
      N% = 0
      WHILE N% < 256 AND ZR2 + ZI2 <= 4.0
        ZI = 2.0 * ZR * ZI + CI
        ZR = ZR2 - ZI2 + CR
        ZR2 = ZR * ZR
        ZI2 = ZI * ZI
        N% = N% + 1
      ENDWHILE
      T% = T% + N%
      IF N% = 256 THEN IN% = IN% + 1
    NEXT
  NEXT
NEXT
F% = OPENOUT("brandy.out") : BPUT#F%, STR$(T% DIV 10000) + " " + STR$(IN% DIV 1000) : CLOSE#F%
