-- Quicksort of 1M integers from two small congruential generators, twice, recursive over a
-- global array. Printed: the smallest, middle and largest item and a checksum of the order.
local a = {}
local s1, s2 = 1, 2

local function sort(lo, hi)
  while lo < hi do
    local pivot = a[(lo + hi) // 2]
    local i, j = lo, hi
    while i <= j do
      while a[i] < pivot do
        i = i + 1
      end
      while a[j] > pivot do
        j = j - 1
      end
      if i <= j then
        a[i], a[j] = a[j], a[i]
        i = i + 1
        j = j - 1
      end
    end
    -- The smaller part recursively, the larger in this loop: the depth stays small.
    if j - lo < hi - i then
      sort(lo, j)
      lo = i
    else
      sort(i, hi)
      hi = j
    end
  end
end

local check = 0
for round = 1, 2 do
  for i = 0, 999999 do
    s1 = (s1 * 171) % 30269
    s2 = (s2 * 172) % 30307
    a[i] = s1 * 30000 + s2
  end
  sort(0, 999999)
  for i = 1, 999999 do
    if a[i - 1] > a[i] then check = check + 1 end
    check = (check * 7 + a[i]) % 1000003
  end
end
print(a[0] .. " " .. a[500000] .. " " .. a[999999] .. " " .. check)
