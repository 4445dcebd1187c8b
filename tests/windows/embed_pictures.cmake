# Makes a JPEG of each size in SIZES ("64x48,32x16") with the build machine's
# cjpeg, from the same gradient the POSIX tests feed it, and writes them as
# byte arrays into OUTPUT, for the Windows tests' plain_jpeg. With JPEGTRAN,
# the build machine's jpegtran turns of each (-rotate 90, 180 and 270, -copy
# all) go in too: what the Windows jpegtran.exe must make of the same input.
#   cmake -DCJPEG=... [-DJPEGTRAN=...] -DSIZES=... -DWORK=... -DOUTPUT=... -P embed_pictures.cmake
file(MAKE_DIRECTORY ${WORK})
set(arrays "")
set(table "")
set(turns "")
set(turn_count 0)

# Appends the bytes of `file` to `arrays` as the array `name`; its length to `length_var`.
function(embed_file file name length_var)
  file(READ ${file} hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR length "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  set(arrays "${arrays}const unsigned char ${name}[] = {${bytes}};\n" PARENT_SCOPE)
  set(${length_var} ${length} PARENT_SCOPE)
endfunction()
string(REPLACE "," ";" SIZES "${SIZES}")
foreach(size IN LISTS SIZES)
  string(REPLACE "x" ";" sides ${size})
  list(GET sides 0 width)
  list(GET sides 1 height)
  # A plain (text) PPM: CMake strings cannot hold the zero bytes of a binary one.
  set(pixels "P3\n${width} ${height}\n255\n")
  math(EXPR last_x "${width} - 1")
  math(EXPR last_y "${height} - 1")
  foreach(y RANGE ${last_y})
    foreach(x RANGE ${last_x})
      math(EXPR red "(${x} * 4) % 256")
      math(EXPR green "(${y} * 5) % 256")
      math(EXPR blue "(${x} * ${y}) & 255")
      string(APPEND pixels "${red} ${green} ${blue}\n")
    endforeach()
  endforeach()
  file(WRITE ${WORK}/${size}.ppm "${pixels}")
  execute_process(COMMAND ${CJPEG} -quality 85 -outfile ${WORK}/${size}.jpg ${WORK}/${size}.ppm
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cjpeg could not make the ${size} picture")
  endif()
  embed_file(${WORK}/${size}.jpg kPicture${size} length)
  string(APPEND table "    {${width}, ${height}, kPicture${size}, ${length}},\n")
  if(JPEGTRAN)
    foreach(degrees 90 180 270)
      set(turned ${WORK}/${size}-${degrees}.jpg)
      execute_process(COMMAND ${JPEGTRAN} -rotate ${degrees} -copy all -outfile ${turned}
                              ${WORK}/${size}.jpg RESULT_VARIABLE status)
      if(NOT status EQUAL 0)
        message(FATAL_ERROR "jpegtran could not turn the ${size} picture")
      endif()
      embed_file(${turned} kTurned${size}by${degrees} length)
      string(APPEND turns "    {${width}, ${height}, ${degrees}, kTurned${size}by${degrees}, ${length}},\n")
      math(EXPR turn_count "${turn_count} + 1")
    endforeach()
  endif()
endforeach()
if(turn_count EQUAL 0)
  set(turns "    {0, 0, 0, nullptr, 0},\n")  # no array may be empty
endif()
list(LENGTH SIZES count)
file(WRITE ${OUTPUT}.new "// Made by embed_pictures.cmake.
#include \"windows/embedded_pictures.h\"

namespace {
${arrays}}  // namespace

extern const EmbeddedPicture kEmbeddedPictures[] = {
${table}};
extern const std::size_t kEmbeddedPictureCount = ${count};

extern const EmbeddedTurn kEmbeddedTurns[] = {
${turns}};
extern const std::size_t kEmbeddedTurnCount = ${turn_count};
")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
