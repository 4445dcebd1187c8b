#include "platform/backend.h"
#include "platform/kept_memory.h"
#include "platform/platform.h"
#include "platform/process.h"

const Platform& platform_default() {
  static const Platform real = {
      .list_folder = backend::list_folder,
      .path_info = backend::path_info,
      .open_read = backend::open_read,
      .open_folder = backend::open_folder,
      .open_quietly = backend::open_quietly,
      .reads_keep_access_time = backend::reads_keep_access_time,
      .file_info = backend::file_info,
      .read_at = backend::read_at,
      .create_new = backend::create_new,
      .create_temporary = backend::create_temporary,
      .write_at = backend::write_at,
      .copy_range = backend::copy_range,
      .sync = backend::sync_file,
      .start_writeback = backend::start_writeback,
      .close = backend::close_file,
      .copy_access = backend::copy_access,
      .set_times = backend::set_times,
      .remove = backend::remove_path,
      .rename_over = backend::rename_over,
      .sync_folder_of = backend::sync_folder_of,
      .run_program = run_program,
      .worker_count = backend::worker_count,
      .raise_open_file_limit = backend::raise_open_file_limit,
      .allocate = kept_allocate,
      .release = kept_release,
  };
  return real;
}
