REM String build: 15M joins onto a text that starts again when it reaches 250 characters.
S$ = ""
R% = 0
FOR I% = 1 TO 15000000
  S$ = S$ + "ab"
  IF LEN(S$) >= 250 THEN
    R% = R% + 1
    S$ = ""
  ENDIF
NEXT
F% = OPENOUT("brandy.out") : BPUT#F%, STR$(R%) + " " + STR$(LEN(S$)) : CLOSE#F%
