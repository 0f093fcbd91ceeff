// Everything module code needs to reach the runtime, in one include.
#pragma once

#include "module/support/args.h"
#include "module/support/array.h"
#include "module/support/byteset.h"
#include "module/support/gl.h"
#include "module/support/globals.h"
#include "module/support/kernel.h"
#include "module/support/numbers.h"
#include "module/support/regex.h"
#include "module/support/services.h"
#include "module/support/text.h"
