# Writes a C++ source holding the bytes of a text file:
#   cmake -DINPUT=file -DOUTPUT=file.cc -DSYMBOL=name -P embed_text.cmake
# The text is embedded as a byte array so any character of it survives.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT}; do not edit.\n"
  "#include <cstddef>\n\n"
  "namespace zv {\n"
  "extern const unsigned char ${SYMBOL}[] = {\n${bytes}0x00};\n"
  "extern const std::size_t ${SYMBOL}Size = ${size};\n"
  "}  // namespace zv\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
