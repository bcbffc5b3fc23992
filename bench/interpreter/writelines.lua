-- Line by line: 100,000 lines written with file:write (each ended by CR LF), the file written
-- anew 20 times (a second or so of work); the file's size.
for round = 1, 20 do
  os.remove("out.txt")
  local f = assert(io.open("out.txt", "wb"))
  for i = 1, 100000 do
    f:write("line " .. i .. " of the file this benchmark writes\r\n")
  end
  f:close()
end
local f = assert(io.open("out.txt", "rb"))
print(f:seek("end"))
f:close()
