-- N-body: the Sun and four planets on float arrays, 500,000 steps of 0.01 days. Printed:
-- the energy before and after in ten-thousandths, rounded (single and double precision agree there).
local sqrt, floor = math.sqrt, math.floor
local solar, year = 39.47841760435743, 365.24
local bodies = {
  {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0},
  {4.84143144246472090, -1.16032004402742839, -0.103622044471123109,
   0.00166007664274403694, 0.00769901118419740425, -0.0000690460016972063023, 0.000954791938424326609},
  {8.34336671824457987, 4.12479856412430479, -0.403523417114321381,
   -0.00276742510726862411, 0.00499852801234917238, 0.0000230417297573763929, 0.000285885980666130812},
  {12.8943695621391310, -15.1111514016986312, -0.223307578892655734,
   0.00296460137564761618, 0.00237847173959480950, -0.0000296589568540237556, 0.0000436624404335156298},
  {15.3796971148509165, -25.9193146099879641, 0.179258772950371181,
   0.00268067772490389322, 0.00162824170038242295, -0.0000951592254519715870, 0.0000515138902046611451},
}
local x, y, z, vx, vy, vz, m = {}, {}, {}, {}, {}, {}, {}
for i = 0, 4 do
  local b = bodies[i + 1]
  x[i], y[i], z[i] = b[1], b[2], b[3]
  vx[i], vy[i], vz[i] = b[4] * year, b[5] * year, b[6] * year
  m[i] = b[7] * solar
end
local px, py, pz = 0.0, 0.0, 0.0
for i = 0, 4 do
  px = px + vx[i] * m[i]
  py = py + vy[i] * m[i]
  pz = pz + vz[i] * m[i]
end
vx[0], vy[0], vz[0] = 0.0 - px / solar, 0.0 - py / solar, 0.0 - pz / solar

local function energy()
  local e = 0.0
  for i = 0, 4 do
    e = e + 0.5 * m[i] * (vx[i] * vx[i] + vy[i] * vy[i] + vz[i] * vz[i])
    for j = i + 1, 4 do
      local dx, dy, dz = x[i] - x[j], y[i] - y[j], z[i] - z[j]
      e = e - m[i] * m[j] / sqrt(dx * dx + dy * dy + dz * dz)
    end
  end
  return floor(e * 10000.0 + 0.5)
end

print(energy())
local dt = 0.01
for n = 1, 500000 do
  for i = 0, 3 do
    local xi, yi, zi, mi = x[i], y[i], z[i], m[i]
    for j = i + 1, 4 do
      local dx, dy, dz = xi - x[j], yi - y[j], zi - z[j]
      local d2 = dx * dx + dy * dy + dz * dz
      local mag = dt / (d2 * sqrt(d2))
      local mj = m[j] * mag
      vx[i] = vx[i] - dx * mj
      vy[i] = vy[i] - dy * mj
      vz[i] = vz[i] - dz * mj
      local mm = mi * mag
      vx[j] = vx[j] + dx * mm
      vy[j] = vy[j] + dy * mm
      vz[j] = vz[j] + dz * mm
    end
  end
  for i = 0, 4 do
    x[i] = x[i] + dt * vx[i]
    y[i] = y[i] + dt * vy[i]
    z[i] = z[i] + dt * vz[i]
  end
end
print(energy())
