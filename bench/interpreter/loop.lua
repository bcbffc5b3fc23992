-- Arithmetic loop: 120M iterations of a modulo, a multiply and an add.
local s = 0
for i = 1, 120000000 do
  s = s + (i % 7) * 3
end
print(s)
