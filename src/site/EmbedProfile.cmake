# Writes the built-in site profile into a source file: cmake -DIN=... -DOUT=... -P
file(READ "${IN}" text)
string(FIND "${text}" ")bxprofile\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${IN} holds the raw string's closing mark")
endif()
file(WRITE "${OUT}.tmp" "// Made by the build from ${IN}; edit that file.\nnamespace bexora {\nextern const char kBuiltinProfileText[];\nconst char kBuiltinProfileText[] = R\"bxprofile(${text})bxprofile\";\n}\n")
file(RENAME "${OUT}.tmp" "${OUT}")
