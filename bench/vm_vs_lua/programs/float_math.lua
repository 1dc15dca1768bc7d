local x = 0.0
local sqrt = math.sqrt
for i = 1, 5000000 do
  x = x + sqrt(i) * 0.5 - x / 1000.0
end
print(x)
