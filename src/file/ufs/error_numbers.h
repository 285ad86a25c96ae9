// The error numbers of the block driver and the UFS reader: the conventional
// POSIX numbers, which the C library of both the handheld and the host use.
#pragma once

#include <cerrno>

static_assert(ENOENT == 2 && EIO == 5 && ENOMEM == 12 && ENODEV == 19 && ENOTDIR == 20 && EINVAL == 22 &&
              EFBIG == 27 && EROFS == 30);
