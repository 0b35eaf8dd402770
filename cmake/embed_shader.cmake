# Turns a GLSL file into a C++ source that defines one NUL-terminated char array.
# Bytes instead of a string literal: compilers limit the length of literals.
# Usage: cmake -DINPUT=file.glsl -DOUTPUT=file.cpp -DSYMBOL=name -P embed_shader.cmake
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp" "// Generated from ${INPUT}; edit that file instead.\nextern const char ${SYMBOL}[];\nconst char ${SYMBOL}[] = {\n${bytes}0x00};\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
