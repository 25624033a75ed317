-- Whole-number arithmetic: digit sums with // and %, and a chain of comparisons on each number.
local total, bucket = 0, 0
for i = 1, 6000000 do
  local n = i
  local digits = 0
  while n > 0 do
    digits = digits + n % 10
    n = n // 10
  end
  if (digits % 3 == 0 and i % 5 ~= 0) or (digits > 30 and i % 7 == 3) then total = total + 1 end
  if i % 1000 < 10 or digits >= 40 or i // 1000 == digits then bucket = bucket + i // 100 % 7 end
end
print("result " .. total .. " " .. bucket)
