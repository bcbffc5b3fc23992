REM String functions: 6M rounds of mid$, chr$ and two asc calls.
T$ = "The quick brown fox jumps over the lazy dog"
S% = 0
FOR I% = 1 TO 6000000
  C$ = MID$(T$, I% MOD 43 + 1, 1)
  S% = S% + ASC(C$) + ASC(CHR$(65 + I% MOD 26))
NEXT
F% = OPENOUT("brandy.out") : BPUT#F%, STR$(S%) : CLOSE#F%
