// Memory the pictures are read through. Each thread works on one file at a
// time, so one block of its own, grown to the largest request met, serves
// all its files: fresh memory for every file would cost a page fault on each
// of its pages. A request made while that block is handed out is an ordinary
// allocation.
#pragma once

#include <cstddef>

// A block of `size` bytes, or nullptr when there is no memory.
void* kept_allocate(std::size_t size);

// Gives back what kept_allocate handed out; the kept block stays until exit.
void kept_release(void* memory);
