#pragma once
// All run-time routines at once: settings, date-times, currency, formatting,
// parsing and text helpers.
#include "rtl/currency.h"
#include "rtl/datetime.h"
#include "rtl/errors.h"
#include "rtl/format.h"
#include "rtl/parse.h"
#include "rtl/settings.h"
#include "rtl/strutil.h"
