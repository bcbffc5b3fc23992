-- String functions: 6M rounds of mid$, chr$ and two asc calls.
local sub, byte, char = string.sub, string.byte, string.char
local t = "The quick brown fox jumps over the lazy dog"
local sum = 0
for i = 1, 6000000 do
  local p = i % 43 + 1
  local c = sub(t, p, p)
  sum = sum + byte(c) + byte(char(65 + i % 26))
end
print(sum)
