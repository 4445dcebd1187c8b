// Memory for pictures. They are worked on one at a time, so one block, grown
// to the largest file met, serves them all: fresh memory for every file would
// cost a page fault on each of its pages. A request made while that block is
// handed out is an ordinary allocation.
#pragma once

#include <cstddef>

// A block of `size` bytes, or nullptr when there is no memory.
void* kept_allocate(std::size_t size);

// Gives back what kept_allocate handed out; the kept block stays until exit.
void kept_release(void* memory);
