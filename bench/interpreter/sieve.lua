-- Sieve of Eratosthenes over an array of 2M flags, made anew for each of 8 rounds: the count
-- of primes.
local n = 2000000
local count = 0
for round = 1, 8 do
  local flags = {}
  for i = 1, n do flags[i] = 0 end
  count = 0
  for i = 2, n do
    if flags[i] == 0 then
      count = count + 1
      for j = i + i, n, i do
        flags[j] = 1
      end
    end
  end
end
print(count)
