# Writes a C source that holds a file's bytes:
#   cmake -DINPUT=<file> -DOUTPUT=<file.c> -DNAME=<symbol> -P EmbedFile.cmake
# gives `const unsigned char NAME[]` and `const unsigned long NAMESize`.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}"
    "/* Generated from ${INPUT}. */\n"
    "const unsigned char ${NAME}Image[] = {\n${bytes}\n};\n"
    "const unsigned long ${NAME}Size = ${size};\n")
