REM Mandelbrot: 200x200 points, at most 256 iterations each. Printed: the iterations in
REM thousands and the points inside in hundreds (single and double precision agree there).
T% = 0
IN% = 0
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
F% = OPENOUT("brandy.out") : BPUT#F%, STR$(T% DIV 1000) + " " + STR$(IN% DIV 100) : CLOSE#F%
