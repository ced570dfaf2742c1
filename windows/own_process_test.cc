// The backend over the real process: the runtime's text forms and numbers
// against the model's, the version resource of the DLL, and whole reports
// of variables that live in this process.
#include "windows/own_process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inspector/ravoduze.h"
#include "model/process.h"
#include "testutil/error_of.h"
#include "windows/win32.h"

namespace dudUdudADOD::windows {
namespace {

using automation::VariantImage;
using testutil::ErrorOf;

Address At(const void* p) { return static_cast<Address>(reinterpret_cast<uintptr_t>(p)); }

automation::Decimal Dec(uint64_t lo, uint8_t scale, bool negative = false) {
  return automation::Decimal{scale, negative, 0, lo};
}

class OwnProcessTest : public testing::Test {
 protected:
  OwnProcess own_{GetModuleHandleW(nullptr)};
  automation::Process model_;
};

// Wine runs the tests under en-US (see cmake/wine_test.sh), where the
// runtime's forms must be the model's.
TEST_F(OwnProcessTest, TextAndNumbersOfValuesEqualTheModels) {
  const std::vector<VariantImage> values = {
      VariantImage::Empty(),
      VariantImage::Integer(-5),
      VariantImage::Long(INT32_MIN),
      VariantImage::Byte(255),
      VariantImage::Single(1.5f),
      VariantImage::Single(3.14159274f),
      VariantImage::Double(1e20),
      VariantImage::Double(1e-10),
      VariantImage::Double(1.5e-7),
      VariantImage::Double(123456789012345.0),
      VariantImage::Double(0.1 + 0.2),
      VariantImage::Double(2.5),
      VariantImage::Currency(-1),
      VariantImage::Currency(15000),
      VariantImage::Date(36527),
      VariantImage::Date(36527.5),
      VariantImage::Date(0),
      VariantImage::Date(0.12783564814814815),
      VariantImage::Boolean(true),
      VariantImage::Boolean(false),
      VariantImage::Error(5),
      VariantImage::OfDecimal(Dec(15, 1, true)),
      VariantImage::OfDecimal(Dec(12345, 2)),
  };
  for (const VariantImage& v : values) {
    SCOPED_TRACE(testing::Message() << "vt " << v.vt());
    const std::u16string model = model_.Text(v);
    EXPECT_EQ(own_.Text(v), model);
    EXPECT_EQ(own_.LenB(v), model_.LenB(v));
    int32_t model_long = 0;
    const int model_error = ErrorOf([&] { model_long = model_.ToLong(v); });
    int32_t own_long = 0;
    EXPECT_EQ(ErrorOf([&] { own_long = own_.ToLong(v); }), model_error);
    EXPECT_EQ(own_long, model_long);
  }
  EXPECT_EQ(ErrorOf([&] { own_.Text(VariantImage::Null()); }), automation::kInvalidUseOfNull);
  EXPECT_EQ(ErrorOf([&] { own_.ToLong(VariantImage::Double(3e9)); }), automation::kOverflow);
}

TEST_F(OwnProcessTest, StringsAreReadGuardedAndConvertedByTheRuntime) {
  BSTR text = SysAllocString(L"-42.5");
  const VariantImage s = VariantImage::String(At(text));
  EXPECT_EQ(own_.Text(s), u"-42.5");
  EXPECT_EQ(own_.LenB(s), 10u);
  EXPECT_EQ(own_.ToLong(s), -42);  // halves to even
  SysFreeString(text);
  // A string pointer into nothing.
  EXPECT_EQ(ErrorOf([&] { own_.Text(VariantImage::String(16)); }), automation::kInvalidArgument);
  EXPECT_EQ(own_.Text(VariantImage::String(0)), u"");
}

TEST_F(OwnProcessTest, CharactersOfTheAnsiCodePageAndTypeNames) {
  for (int32_t code : {0, 65, 128, 150, 169, 255}) {
    EXPECT_EQ(own_.AnsiChar(code), model_.AnsiChar(code)) << code;
  }
  EXPECT_EQ(ErrorOf([&] { own_.AnsiChar(256); }), automation::kInvalidArgument);
  EXPECT_EQ(own_.TypeName(VariantImage::Long(1)), u"Long");
  EXPECT_EQ(own_.TypeName(VariantImage::Array(automation::vbVariant, 0)), u"Variant()");
  EXPECT_EQ(own_.TypeName(VariantImage::Object(0)), u"Nothing");
  // An address that holds no object.
  EXPECT_EQ(ErrorOf([&] { own_.TypeName(VariantImage::Object(16)); }),
            automation::kInvalidArgument);
  EXPECT_FALSE(own_.HasDefaultValue(16));
}

TEST_F(OwnProcessTest, BoundsOfARealArray) {
  SAFEARRAYBOUND bounds[2] = {{3, 1}, {4, -2}};
  SAFEARRAY* array = SafeArrayCreate(VT_I2, 2, bounds);
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(own_.LBound(At(array), 1), 1);
  EXPECT_EQ(own_.UBound(At(array), 1), 3);
  EXPECT_EQ(own_.UBound(At(array), 2), 1);
  EXPECT_EQ(ErrorOf([&] { own_.LBound(At(array), 3); }), automation::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([&] { own_.LBound(0, 1); }), automation::kSubscriptOutOfRange);
  SafeArrayDestroy(array);
}

TEST_F(OwnProcessTest, VersionComesFromTheLibrarysResource) {
  HMODULE dll = LoadLibraryW(L"" DUD_DLL_PATH);
  ASSERT_NE(dll, nullptr);
  {
    OwnProcess process(dll);
    const auto version = process.OwnVersion();
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(version->major, 1);
    EXPECT_EQ(version->minor, 0);
    EXPECT_EQ(version->revision, 4);
    EXPECT_EQ(version->comments, u"RavoDUZE (Ravo Duze) ActiveX DLL");
    EXPECT_EQ(dudUdudADOD::RavoDUZE(process).About().substr(0, 34),
              u"RavoDUZE (Ravo Duze) ActiveX DLL\r\n");
  }
  FreeLibrary(dll);
}

// Whole reports over this process's own variables.
TEST_F(OwnProcessTest, ReportsOfRealVariables) {
  int32_t x = 5;
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_I4 | VT_BYREF;
  arg.plVal = reinterpret_cast<LONG*>(&x);
  dudUdudADOD::RavoDUZE inspector(own_);
  const std::u16string values = inspector(At(&arg), std::nullopt, 16);
  const std::u16string address = [&] {
    std::string digits = std::to_string(automation::SignedAddress(own_.memory().layout(), At(&x)));
    return std::u16string(digits.begin(), digits.end());
  }();
  EXPECT_EQ(values, u"\r\n/// VALUE ///\r\n1 element, 4 bytes in memory, Entry = " + address +
                        u"\r\nLegend: Indexed=True, CharASCII=True, OrdinalPos=True, "
                        u"(^Address/LenB)=True\r\n5\r\n");
  const std::u16string whole = inspector(At(&arg));
  EXPECT_NE(whole.find(u"2       16387           3 64 "), std::u16string::npos);
  EXPECT_NE(whole.find(u"Pointer"), std::u16string::npos);
  // The pointer row is as wide as the process's pointers.
  const std::u16string width = sizeof(void*) == 8 ? u"8" : u"4";
  EXPECT_NE(whole.find(u"Union           " + width + u"       " + address), std::u16string::npos);

  // The by-reference pointer leads into a no-access page: error 5, no fault.
  void* page = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_NOACCESS);
  ASSERT_NE(page, nullptr);
  arg.plVal = static_cast<LONG*>(page);
  EXPECT_EQ(ErrorOf([&] { inspector(At(&arg)); }), automation::kInvalidArgument);
  // An array whose descriptor claims data in the same page.
  SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 4);
  ASSERT_NE(array, nullptr);
  void* data = array->pvData;
  array->pvData = page;
  VARIANT held;
  VariantInit(&held);
  held.vt = VT_ARRAY | VT_I4;
  held.parray = array;
  EXPECT_EQ(ErrorOf([&] { inspector(At(&held), std::nullopt, 16); }), automation::kInvalidArgument);
  array->pvData = data;
  EXPECT_EQ(
      inspector(At(&held), std::nullopt, 16, 0),
      u"\r\n/// VALUES ///\r\n4 elements, 16 bytes in memory, Entry = " +
          [&] {
            std::string digits = std::to_string(static_cast<int32_t>(At(data)));
            return std::u16string(digits.begin(), digits.end());
          }() +
          u"\r\n0 0 0 0 \r\n");
  SafeArrayDestroy(array);
  VirtualFree(page, 0, MEM_RELEASE);
}

// One report, one locale: in the locale a caller names, the report code's
// own numbers (typed array elements) read as the runtime's (a scalar, a
// Variant element) do, and the point stays a point in en-US.
TEST_F(OwnProcessTest, EveryNumberOfAReportTakesTheCallsLocale) {
  SAFEARRAY* doubles = SafeArrayCreateVector(VT_R8, 0, 2);
  SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  ASSERT_NE(doubles, nullptr);
  ASSERT_NE(variants, nullptr);
  const double values[2] = {1.5, -2.25};
  for (LONG i = 0; i < 2; ++i) {
    SafeArrayPutElement(doubles, &i, const_cast<double*>(&values[i]));
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = values[i];
    SafeArrayPutElement(variants, &i, &v);
  }
  struct Case {
    LCID locale;
    char16_t separator;
    const char16_t* elements;
  };
  for (const Case& c :
       {Case{0x0409, u'.', u"1.5 -2.25 \r\n"}, Case{0x0407, u',', u"1,5 -2,25 \r\n"}}) {
    SCOPED_TRACE(c.locale);
    OwnProcess process(GetModuleHandleW(nullptr), c.locale);
    EXPECT_EQ(process.DecimalSeparator(), c.separator);
    EXPECT_EQ(process.Text(VariantImage::Double(1.5)), std::u16string(u"1") + c.separator + u"5");
    dudUdudADOD::RavoDUZE inspector(process);
    for (SAFEARRAY* array : {doubles, variants}) {
      VARIANT held;
      VariantInit(&held);
      held.vt = static_cast<VARTYPE>(VT_ARRAY | (array == doubles ? VT_R8 : VT_VARIANT));
      held.parray = array;
      const std::u16string report = inspector(At(&held), std::nullopt, 16, 0);
      EXPECT_TRUE(report.ends_with(c.elements)) << std::string(report.begin(), report.end());
    }
  }
  SafeArrayDestroy(doubles);
  SafeArrayDestroy(variants);
}

}  // namespace
}  // namespace dudUdudADOD::windows
