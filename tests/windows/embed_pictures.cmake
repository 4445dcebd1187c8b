# Makes a JPEG of each size in SIZES ("64x48,32x16") with the build machine's
# cjpeg, from the same gradient the POSIX tests feed it, and writes them as
# byte arrays into OUTPUT, for the Windows tests' plain_jpeg.
#   cmake -DCJPEG=... -DSIZES=... -DWORK=... -DOUTPUT=... -P embed_pictures.cmake
file(MAKE_DIRECTORY ${WORK})
set(arrays "")
set(table "")
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
  file(READ ${WORK}/${size}.jpg hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR length "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const unsigned char kPicture${width}x${height}[] = {${bytes}};\n")
  string(APPEND table "    {${width}, ${height}, kPicture${width}x${height}, ${length}},\n")
endforeach()
list(LENGTH SIZES count)
file(WRITE ${OUTPUT}.new "// Made by embed_pictures.cmake.
#include <cstddef>

namespace {
${arrays}}  // namespace

struct EmbeddedPicture {
  int width;
  int height;
  const unsigned char* bytes;
  std::size_t size;
};
extern const EmbeddedPicture kEmbeddedPictures[] = {
${table}};
extern const std::size_t kEmbeddedPictureCount = ${count};
")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
