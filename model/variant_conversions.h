// The modelled runtime's conversions of values: to text, to a Long, between
// types, and TypeName, over the model's process (its objects and its heap).
//
// Every function takes a variant image and follows a by-reference variant to
// its value first (see Dereference), so callers may pass the argument variant
// exactly as the client handed it over.
//
// Text forms are the en-US forms a user of the platform sees (text_forms.h
// gives the exact rules):
//   Integer, Long, Byte  signed decimal ("-5"), and so the other integer
//                        types (integer_types.h), up to ULong's
//                        "18446744073709551615"
//   Single, Double       up to 7 / 15 significant digits, exponent form
//                        beyond that range ("1E+20", "1E-10", "1.5E-07")
//   Currency             up to 4 decimals ("1.5", "-0.0001")
//   Date                 "1/2/2000", "3:04:05 AM" or "1/2/2000 3:04:05 AM"
//                        (only the date when the time is midnight, only the
//                        time when the date is 12/30/1899)
//   Decimal              up to 28 digits after scaling, no trailing zeros
//   Error                "Error 5"
//   Boolean              "True" for any non-zero value, "False" for 0
//   Empty                ""
// The decimal separator is ".".
#ifndef DUD_MODEL_VARIANT_CONVERSIONS_H_
#define DUD_MODEL_VARIANT_CONVERSIONS_H_

#include <cstdint>
#include <string>

#include "automation/conversions.h"
#include "automation/variant.h"
#include "model/model_only.h"
#include "model/process.h"

namespace dudUdudADOD::automation {

// TypeName: "Long", "String", "Long()" for an array of Long, "LongLong" and
// the other integer types' names (integer_types.h), an object's class name, "Nothing" for an object
// variable holding no object, "Empty", "Null", "Unknown" for a DataObject and for codes the
// platform does not know.
std::u16string TypeName(const Process& process, const VariantImage& v);
// CStr: appends the value's text. Raises 94 for Null; 13 for a value without
// a text form (an array other than an array of Byte, a user-defined type, an
// unknown code). An array of Byte converts to the text its bytes spell (two
// bytes a character, an odd last byte dropped). An object converts through
// its default value: 91 for Nothing, 438 for an object without one, 5 for an
// address that holds no object.
void AppendVariantText(std::u16string& out, const Process& process, const VariantImage& v);
std::u16string VariantToText(const Process& process, const VariantImage& v);

// LenB of the value converted to a string: a string's own byte length (read
// from its prefix, not copied), otherwise twice the length of its text.
// Raises what CStr raises for a value without text (94 for Null).
uint32_t LenB(const Process& process, const VariantImage& v);

// CLng: rounded to the nearest integer, halves to even (Double, Single, Date,
// Currency and Decimal alike). A Boolean gives its stored value (True is -1),
// Empty 0, a string or an object's default value the number its text reads
// as (see ParseNumber). Raises 6 when out of range, 13 for text that is no
// number and for values without a number (Error, arrays), 94 for Null.
int32_t VariantToLong(const Process& process, const VariantImage& v);

// VariantChangeType to a scalar type (Integer, Long, Single, Double,
// Currency, Date, String, Boolean, Byte, the other integer types, Decimal,
// Error from an Error only,
// Object and DataObject from an object only), or to Variant, which returns a
// deep copy (VariantCopy) and lets Null through. Empty converts to 0, "",
// False or 12:00:00 AM.
//   Integer types, Currency: rounded halves to even, range-checked.
//   Currency, Decimal, LongLong and ULong read strings exactly, not
//     through a Double.
//   Date: a string is read as a date first, then as a number; the serial
//     must lie in years 100 to 9999.
//   Boolean: any non-zero number is True; a string may be "True" or "False"
//     in any case, or a number.
//   Decimal: a Double keeps the 15 significant digits its text shows, a
//     Single 7.
// A String result is a new string on the heap that the caller owns. Raises 6
// on overflow, 13 for an impossible conversion, 94 for Null.
VariantImage ChangeType(Process& process, const VariantImage& v, uint16_t type);

// The text of an object's default value: 91 for address 0 (Nothing), 5 when
// no object lives at the address, 438 for an object without a default value.
const std::u16string& ObjectDefaultText(const Process& process, Address object);

}  // namespace dudUdudADOD::automation

#endif  // DUD_MODEL_VARIANT_CONVERSIONS_H_
