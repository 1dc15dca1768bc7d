local r = 0
for i = 1, 20000000 do
  r = r + (i & 7)
end
print(r)
