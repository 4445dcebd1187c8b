// What process_image returns for a file.
#pragma once

enum ResultCode : int {
  RESULT_DONE = 0,               // output written and put in place
  RESULT_UNCHANGED = 1,          // not a camera file, no cut found, or the cut's write failed
  RESULT_LOAD_FAILED = 2,        // no memory to read it through, or it could not be read whole
  RESULT_OUTPUT_FAILED = 3,      // output not created, or the final replacement failed
  RESULT_ROTATE_FAILED = -1,     // jpegtran failed, or its output could not be put in place
  RESULT_ROTATED_EMPTY = -2,     // the rotated file, reopened, is empty
  RESULT_RELOAD_NO_MEMORY = -3,  // no longer arises: the turned picture needs no memory of its own
  RESULT_RELOAD_FAILED = -4,     // the rotated file could not be opened or read whole
  RESULT_FALLBACK_FAILED = 55,   // the rotated picture could not be written whole
};

// Whether the walk goes on with the rest of a folder after a file with this
// result: a file that could not be loaded ends its folder.
inline bool folder_goes_on(ResultCode result) {
  return result != RESULT_LOAD_FAILED;
}
