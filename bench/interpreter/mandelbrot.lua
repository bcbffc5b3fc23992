-- Mandelbrot: 200x200 points, at most 256 iterations each, ten times over. Printed, per
-- round: the iterations in thousands and the points inside in hundreds (single and double
-- precision agree there).
local total, inside = 0, 0
for round = 1, 10 do
  for y = 0, 199 do
    local ci = y * 0.01 - 1.0
    for x = 0, 199 do
      local cr = x * 0.015 - 2.0
      local zr, zi = 0.0, 0.0
      local n = 0
      while n < 256 do
        local zr2, zi2 = zr * zr, zi * zi
        if zr2 + zi2 > 4.0 then break end
        zi = 2.0 * zr * zi + ci
        zr = zr2 - zi2 + cr
        n = n + 1
      end
      total = total + n
      if n == 256 then inside = inside + 1 end
    end
  end
end
print(total // 10000 .. " " .. inside // 1000)
