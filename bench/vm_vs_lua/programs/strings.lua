local n = 0
local s = ""
for i = 1, 3000000 do
  s = s .. "ab"
  if #s > 200 then s = ""; n = n + 1 end
end
print(n, s)
