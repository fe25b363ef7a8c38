# Writes INPUT's bytes as the C++ array embedded_mono_png into OUTPUT.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT} "#include <stdint.h>\nextern const uint8_t embedded_mono_png[];\nextern const uint64_t embedded_mono_png_size;\nconst uint8_t embedded_mono_png[] = {\n${bytes}\n};\nconst uint64_t embedded_mono_png_size = ${size};\n")
