F% = OPENOUT("brandy.out") : BPUT#F%, "0" : CLOSE#F%
