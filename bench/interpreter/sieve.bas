REM Sieve of Eratosthenes over an array of 2M flags, cleared for each of 8 rounds: the count
REM of primes.
DIM F%(2000000)
FOR R% = 1 TO 8
  FOR I% = 0 TO 2000000
    F%(I%) = 0
  NEXT
  C% = 0
  FOR I% = 2 TO 2000000
    IF F%(I%) = 0 THEN
      C% = C% + 1
      REM A FOR loop here always runs its body once: the guard keeps J% inside the array.
      IF I% + I% <= 2000000 THEN
        FOR J% = I% + I% TO 2000000 STEP I%
          F%(J%) = 1
        NEXT
      ENDIF
    ENDIF
  NEXT
NEXT
F% = OPENOUT("brandy.out") : BPUT#F%, STR$(C%) : CLOSE#F%
