-- String build: 15M joins onto a text that starts again when it reaches 250 characters.
local s = ""
local restarts = 0
for i = 1, 15000000 do
  s = s .. "ab"
  if #s >= 250 then
    restarts = restarts + 1
    s = ""
  end
end
print(restarts .. " " .. #s)
