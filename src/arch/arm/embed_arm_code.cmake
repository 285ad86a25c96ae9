# Turns one assembled ARM object into a C++ source holding its .text bytes
# and the offsets of its labels (see arm_code.h).
#
#   cmake -DOBJCOPY=... -DNM=... -DOBJECT=x.o -DBINARY=x.bin -DOUTPUT=x.cpp -DNAME=Identifier -P embed_arm_code.cmake

cmake_minimum_required(VERSION 3.25)

foreach(var OBJCOPY NM OBJECT BINARY OUTPUT NAME)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "embed_arm_code: ${var} not set")
  endif()
endforeach()

execute_process(COMMAND ${OBJCOPY} -O binary -j .text ${OBJECT} ${BINARY} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "embed_arm_code: ${OBJCOPY} failed on ${OBJECT}")
endif()
execute_process(COMMAND ${NM} --defined-only ${OBJECT} OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "embed_arm_code: ${NM} failed on ${OBJECT}")
endif()

file(READ ${BINARY} hex HEX)
string(LENGTH "${hex}" hex_length)
if(hex_length EQUAL 0)
  message(FATAL_ERROR "embed_arm_code: ${OBJECT} has no code")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REPEAT "0x..," 12 row)
string(REGEX REPLACE "(${row})" "\\1\n    " bytes "${bytes}")

# Labels of .text only; mapping symbols ($a, $d) are left out.
set(symbol_rows "")
set(symbol_count 0)
string(REPLACE "\n" ";" symbol_lines "${symbols}")
list(SORT symbol_lines)
foreach(line IN LISTS symbol_lines)
  if(line MATCHES "^([0-9a-fA-F]+) [tT] ([A-Za-z_][A-Za-z0-9_]*)$")
    string(APPEND symbol_rows "    {\"${CMAKE_MATCH_2}\", 0x${CMAKE_MATCH_1}},\n")
    math(EXPR symbol_count "${symbol_count} + 1")
  endif()
endforeach()
if(symbol_count EQUAL 0)
  message(FATAL_ERROR "embed_arm_code: ${OBJECT} has no labels")
endif()

file(WRITE ${OUTPUT}
"// Generated from ${OBJECT} by embed_arm_code.cmake; do not edit.
#include \"arch/arm/arm_code.h\"

alignas(4) const uint8_t ${NAME}[] = {
    ${bytes}
};
const size_t ${NAME}_size = sizeof(${NAME});

static const ArmCodeSymbol ${NAME}_symbols[] = {
${symbol_rows}};

const ArmCode ${NAME}_code = {${NAME}, sizeof(${NAME}), ${NAME}_symbols, ${symbol_count}};
")
