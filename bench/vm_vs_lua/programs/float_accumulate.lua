local s = 0.0
local x = 1.0
for i = 1, 5000000 do
  s = s + x * 0.999
  x = x + 0.001
  if s > 1000000.0 then s = s / 2.0 end
end
print(s)
