// The walk over a folder tree.
#pragma once

#include <functional>
#include <string>

#include "platform/platform.h"

// Called for each .jpg file with its bare name and its folder's text as the
// walk formed it; answers whether the walk goes on with the rest of that folder.
using ImageHandler = std::function<bool(const std::string& name, const std::string& folder)>;

// Called before a folder the walk has already been through (the same device
// and inode, reached by another path) is listed again.
using FolderAgainHandler = std::function<void()>;

// Visits `folder` and every folder below it, depth first in the platform's
// listing order, handing each file whose name ends in ".jpg" (any case) to
// `handler`. Names beginning with a full stop are skipped. A folder that
// cannot be listed yields nothing; one already on the way down is not
// entered again. Always returns 0.
int scan_folder(const Platform& os, const std::string& folder, const ImageHandler& handler,
                const FolderAgainHandler& again = nullptr);

// Whether a file name is one the walk hands on: longer than 4 bytes and
// ending in ".jpg" under ASCII case folding.
bool has_jpg_ending(const std::string& name);
