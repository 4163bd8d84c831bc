// What the upgrade's files take from the net library in one include: URLs, files, versions and
// the progress percentage.
#pragma once

#include "net/files.h"
#include "net/progress.h"
#include "net/urls.h"
#include "net/versions.h"
