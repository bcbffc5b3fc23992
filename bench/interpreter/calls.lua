-- Function calls: 32M calls of a function of three arguments.
local function mix(a, b, c)
  return (a + b * c) % 1000003
end
local s = 0
for i = 1, 32000000 do
  s = mix(s, i, 3)
end
print(s)
