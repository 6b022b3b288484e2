#pragma once
// ReadChunkTree and DescribeChunkTree are declared in chunk_reader.h, with
// the other readers of written bytes; this header includes it.

#include "tests/support/chunk_reader.h"
