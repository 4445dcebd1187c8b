#include "strip/output_file.h"

bool create_output(const Platform& os, const std::string& path, OpenFile* output) {
  output->os = &os;
  os.remove(path);
  return os.create_new(path, &output->handle) == 0;
}

bool write_output(const OpenFile& output, const std::uint8_t* bytes, std::int64_t size) {
  const Platform& os = *output.os;
  return (size == 0 || os.write_at(output.handle, 0, bytes, size) == 0) &&
         os.sync(output.handle) == 0;
}
