#include "strip/image_batch.h"

#include "platform/console.h"
#include "strip/process_image.h"

void add_totals(RunTotals& totals, const RunTotals& file) {
  totals.files_stripped += file.files_stripped;
  totals.files_rotated += file.files_rotated;
  totals.bytes_saved += file.bytes_saved;
}

void finish_batch(const Platform& os, ImageBatch* batch, RunTotals& totals) {
  // Each output was started on its way to the disk when it was written, so
  // these syncs mostly wait for what is already under way.
  for (const auto& file : batch->files) sync_prepared_output(os, file.get());
  const ImageState* last_replaced = nullptr;
  for (const auto& file : batch->files) {
    place_image(os, file.get());
    if (file->replaced) last_replaced = file.get();
  }
  const bool synced = last_replaced == nullptr ||
                      os.sync_folder_of(folder_handle(*last_replaced), last_replaced->path) == 0;
  for (const auto& file : batch->files) {
    file->folder_synced = synced;
    end_line(file.get());
  }
  for (const auto& file : batch->files) {
    if (!file->camera || file->dropped) continue;
    console_print_text(file->line);
    add_totals(totals, file->counted);
  }
}
