# Turns a GLSL file into a C++ source that defines one NUL-terminated char array,
# and PATH_SYMBOL (when given), the file's path, for messages about its lines.
# Bytes instead of a string literal: compilers limit the length of literals.
# Usage: cmake -DINPUT=file.glsl -DOUTPUT=file.cpp -DSYMBOL=name [-DPATH_SYMBOL=name] -P embed_shader.cmake
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp" "// Generated from ${INPUT}; edit that file instead.\nextern const char ${SYMBOL}[];\nconst char ${SYMBOL}[] = {\n${bytes}0x00};\n")
if(PATH_SYMBOL)
  string(REPLACE "\\" "\\\\" path "${INPUT}")
  string(REPLACE "\"" "\\\"" path "${path}")
  file(APPEND "${OUTPUT}.tmp" "extern const char ${PATH_SYMBOL}[];\nconst char ${PATH_SYMBOL}[] = \"${path}\";\n")
endif()
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
