// Text forms of numbers and dates, and their parsing: the en-US forms that
// model/variant_conversions.h describes, one header a kind (integer_text.h,
// floating_text.h, decimal_text.h, date_text.h, number_scan.h). No locale
// machinery: the same text on every host.
#ifndef DUD_AUTOMATION_TEXT_FORMS_H_
#define DUD_AUTOMATION_TEXT_FORMS_H_

#include "automation/date_text.h"
#include "automation/decimal_text.h"
#include "automation/floating_text.h"
#include "automation/integer_text.h"
#include "automation/number_scan.h"

#endif  // DUD_AUTOMATION_TEXT_FORMS_H_
