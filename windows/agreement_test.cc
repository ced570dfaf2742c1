// The real backend and the model of the same platform agree, row for row, on
// the same variables: built once in this process as a compiled client passes
// them, once in the model of this build's width (win32 or win64), and
// reported by the same inspector. Only addresses may differ, and the bytes
// that spell them.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "automation/bstr.h"
#include "automation/integer_types.h"
#include "automation/runtime_error.h"
#include "automation/utf8.h"
#include "inspector/ravoduze.h"
#include "model/bstr_heap.h"
#include "model/client.h"
#include "model/safe_array_heap.h"
#include "windows/own_process.h"
#include "windows/win32.h"

namespace dudUdudADOD::windows {
namespace {

namespace model = automation;

constexpr model::Platform kThisPlatform =
    sizeof(void*) == 8 ? model::Platform::kWin64 : model::Platform::kWin32;

Address At(const void* p) { return static_cast<Address>(reinterpret_cast<uintptr_t>(p)); }

// A one-dimensional array made as the language's Dim makes it (not as a
// vector, which the runtime marks with a feature bit of its own).
SAFEARRAY* NewArray(VARTYPE type, LONG lower, ULONG count) {
  SAFEARRAYBOUND bound{count, lower};
  return SafeArrayCreate(type, 1, &bound);
}

// Whether the digits of at least five (a \d{5,} match) read 65536 or more;
// they may run past 64 bits, as ULong values do.
bool IsBig(const std::string& digits) { return digits.size() > 5 || std::stoi(digits) >= 65536; }

// A report with its addresses masked: a row whose Value (column 72) is an
// address loses its Bytes, every number of 65536 or more becomes "#", and
// runs of spaces shrink to one, since numbers of other lengths move nothing
// but the spaces after them.
std::vector<std::string> Masked(const std::u16string& report) {
  std::vector<std::string> rows;
  const std::string text = model::ToUtf8(report);
  const std::regex big(R"(\b\d{5,}\b)");
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (line.size() > 87) {
      const std::string value = line.substr(71, 16);
      std::smatch m;
      if (std::regex_search(value, m, big) && IsBig(m.str())) line.resize(87);
    }
    std::string masked;
    std::sregex_iterator it(line.begin(), line.end(), big), done;
    size_t at = 0;
    for (; it != done; ++it) {
      masked += line.substr(at, static_cast<size_t>(it->position()) - at);
      masked += IsBig(it->str()) ? "#" : it->str();
      at = static_cast<size_t>(it->position() + it->length());
    }
    masked += line.substr(at);
    rows.push_back(std::regex_replace(masked, std::regex(" +"), " "));
    start = end + 2;
  }
  return rows;
}

class AgreementTest : public testing::Test {
 protected:
  void ExpectSameRows(Address real_arg, Address model_arg, int32_t var_flags = varALLINFO,
                      int32_t vat_flags = vatALLINFO) {
    const std::u16string real = real_(real_arg, std::nullopt, var_flags, vat_flags);
    const std::u16string modelled = modelled_(model_arg, std::nullopt, var_flags, vat_flags);
    EXPECT_EQ(Masked(real), Masked(modelled)) << "real:\n"
                                              << model::ToUtf8(real) << "\nmodel:\n"
                                              << model::ToUtf8(modelled);
  }

  // The values section alone, unmasked but for the data's address in its
  // header: values of 65536 and more, which Masked hides, compared whole.
  void ExpectSameValues(Address real_arg, Address model_arg, int32_t vat_flags) {
    const auto values = [&](RavoDUZE& inspector, Address arg) {
      std::string text = model::ToUtf8(inspector(arg, std::nullopt, varValues, vat_flags));
      const size_t entry = text.find(", Entry = ");
      if (entry != std::string::npos) text.erase(entry, text.find('\r', entry) - entry);
      return text;
    };
    EXPECT_EQ(values(real_, real_arg), values(modelled_, model_arg));
  }

  // The values section with `vat_flags`, every string's address left out
  // (the text between "(^" and "/"), or the error that ended it.
  static std::u16string ValuesWithoutAddresses(RavoDUZE& inspector, Address arg,
                                               int32_t vat_flags) {
    std::u16string text;
    try {
      text = inspector(arg, std::nullopt, varValues, vat_flags);
    } catch (const RuntimeError& e) {
      return u"error " + model::FromUtf8(std::to_string(e.number()));
    }
    // The header, which holds the data's address.
    text.erase(0, text.find(u"\r\n", text.find(u"Entry = ")) + 2);
    std::u16string out;
    for (size_t at = 0; at < text.size();) {
      const size_t mark = text.find(u"(^", at);
      const size_t end = mark == std::u16string::npos ? text.size() : mark + 2;
      out.append(text, at, end - at);
      at = mark == std::u16string::npos ? end : text.find(u'/', end);
    }
    return out;
  }

  void ExpectSameValuesBesideAddresses(Address real_arg, Address model_arg, int32_t vat_flags) {
    const std::u16string real = ValuesWithoutAddresses(real_, real_arg, vat_flags);
    const std::u16string modelled = ValuesWithoutAddresses(modelled_, model_arg, vat_flags);
    EXPECT_EQ(real.size(), modelled.size());
    EXPECT_TRUE(real == modelled) << model::ToUtf8(real.substr(0, 400)) << "\nmodel:\n"
                                  << model::ToUtf8(modelled.substr(0, 400));
  }

  OwnProcess own_{GetModuleHandleW(nullptr)};
  RavoDUZE real_{own_};
  model::Process process_{kThisPlatform};
  model::Client client_{process_};
  RavoDUZE modelled_{process_};
};

TEST_F(AgreementTest, ALongByReference) {
  LONG x = 5;
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_I4 | VT_BYREF;
  arg.plVal = &x;
  const model::Variable m = client_.Dim(model::vbLong);
  client_.Assign(m, model::VariantImage::Long(5));
  ExpectSameRows(At(&arg), client_.Pass(m));
}

TEST_F(AgreementTest, ADoubleHeldInAVariant) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_R8;
  v.dblVal = 5.0;
  const model::Variable m = client_.Dim(model::vbVariant);
  client_.Assign(m, model::VariantImage::Double(5.0));
  ExpectSameRows(At(&v), client_.Pass(m));
}

TEST_F(AgreementTest, AnArrayOfLongWithItsDescriptor) {
  SAFEARRAY* array = NewArray(VT_I4, 1, 3);
  ASSERT_NE(array, nullptr);
  const LONG values[] = {72, 101, 108};
  std::memcpy(array->pvData, values, sizeof values);
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_ARRAY | VT_I4 | VT_BYREF;
  arg.pparray = &array;
  const model::DeclaredBound bounds[] = {{1, 3}};
  const model::Variable m = client_.DimArray(model::vbLong, bounds);
  client_.AssignElements(m, std::vector<model::VariantImage>{model::VariantImage::Long(72),
                                                             model::VariantImage::Long(101),
                                                             model::VariantImage::Long(108)});
  const Address model_arg = client_.Pass(m);
  ExpectSameRows(At(&arg), model_arg);
  ExpectSameRows(At(&arg), model_arg, varValues, vatIndexed);
  SafeArrayDestroy(array);
}

TEST_F(AgreementTest, StringElementsWithTheirLengths) {
  SAFEARRAY* array = NewArray(VT_BSTR, 0, 2);
  ASSERT_NE(array, nullptr);
  static_cast<BSTR*>(array->pvData)[0] = SysAllocString(L"ab");
  static_cast<BSTR*>(array->pvData)[1] = SysAllocString(L"c");
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_ARRAY | VT_BSTR | VT_BYREF;
  arg.pparray = &array;
  const model::DeclaredBound bounds[] = {{0, 1}};
  const model::Variable m = client_.DimArray(model::vbString, bounds);
  client_.AssignElements(m,
                         std::vector<model::VariantImage>{
                             model::VariantImage::String(model::SysAllocString(process_, u"ab")),
                             model::VariantImage::String(model::SysAllocString(process_, u"c"))});
  ExpectSameRows(At(&arg), client_.Pass(m));
  SafeArrayDestroy(array);
}

// The integer types other clients pass, each at a value that shows its sign
// or its width; the real VARIANT holds nothing past the type's bytes, as the
// model's does.
struct IntegerCase {
  VARTYPE vt;
  uint16_t type;
  model::WholeNumber value;
};
constexpr IntegerCase kIntegers[] = {
    {VT_I1, model::vbSByte, {true, 5}},
    {VT_UI2, model::vbUShort, {false, 40000}},
    {VT_UI4, model::vbUInteger, {false, 4000000000}},
    {VT_I8, model::vbLongLong, {true, uint64_t{1} << 63}},
    {VT_UI8, model::vbULong, {false, ~uint64_t{0}}},
    {VT_INT, model::vbInt, {true, 7}},
    {VT_UINT, model::vbUInt, {false, 4294967295}},
};

// `c`'s value in the type's own bytes, as a client stores it.
std::vector<uint8_t> BytesOf(const IntegerCase& c) {
  const model::VariantImage image = model::IntegerVariant(c.type, c.value);
  const uint32_t size = model::StorageSize(c.type, model::kWin32Layout);
  return std::vector<uint8_t>(image.data_field(), image.data_field() + size);
}

TEST_F(AgreementTest, OtherIntegerTypesHeldInAVariant) {
  for (const IntegerCase& c : kIntegers) {
    SCOPED_TRACE(c.vt);
    VARIANT v;
    VariantInit(&v);
    v.vt = c.vt;
    const std::vector<uint8_t> bytes = BytesOf(c);
    std::memcpy(&v.llVal, bytes.data(), bytes.size());
    const model::Variable m = client_.Dim(model::vbVariant);
    client_.Assign(m, model::IntegerVariant(c.type, c.value));
    const Address model_arg = client_.Pass(m);
    ExpectSameRows(At(&v), model_arg);
    ExpectSameValues(At(&v), model_arg, vatNOTHING);
  }
}

TEST_F(AgreementTest, OtherIntegerTypesByReference) {
  for (const IntegerCase& c : kIntegers) {
    SCOPED_TRACE(c.vt);
    std::vector<uint8_t> bytes = BytesOf(c);
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = static_cast<VARTYPE>(c.vt | VT_BYREF);
    arg.byref = bytes.data();
    const model::Variable m = client_.Dim(c.type);
    client_.Assign(m, model::IntegerVariant(c.type, c.value));
    const Address model_arg = client_.Pass(m);
    ExpectSameRows(At(&arg), model_arg);
    ExpectSameValues(At(&arg), model_arg, vatNOTHING);
  }
}

// Typed arrays of each type, and a Variant array holding one of each.
TEST_F(AgreementTest, OtherIntegerTypesInArrays) {
  const model::DeclaredBound bounds[] = {{1, 2}};
  for (const IntegerCase& c : kIntegers) {
    SCOPED_TRACE(c.vt);
    SAFEARRAY* array = NewArray(c.vt, 1, 2);
    ASSERT_NE(array, nullptr);
    const std::vector<uint8_t> bytes = BytesOf(c);
    std::memcpy(array->pvData, bytes.data(), bytes.size());
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = static_cast<VARTYPE>(VT_ARRAY | c.vt | VT_BYREF);
    arg.pparray = &array;
    const model::Variable m = client_.DimArray(c.type, bounds);
    client_.AssignElements(
        m, std::vector<model::VariantImage>{model::IntegerVariant(c.type, c.value),
                                            model::IntegerVariant(c.type, model::WholeNumber{})});
    const Address model_arg = client_.Pass(m);
    ExpectSameRows(At(&arg), model_arg, varALLINFO, vatIndexed);
    ExpectSameValues(At(&arg), model_arg, vatIndexed);
    SafeArrayDestroy(array);
  }
  constexpr auto kCount = static_cast<int32_t>(std::size(kIntegers));
  SAFEARRAY* variants = NewArray(VT_VARIANT, 0, static_cast<ULONG>(kCount));
  ASSERT_NE(variants, nullptr);
  std::vector<model::VariantImage> values;
  for (size_t i = 0; i < std::size(kIntegers); ++i) {
    VARIANT& element = static_cast<VARIANT*>(variants->pvData)[i];
    element.vt = kIntegers[i].vt;
    const std::vector<uint8_t> bytes = BytesOf(kIntegers[i]);
    std::memcpy(&element.llVal, bytes.data(), bytes.size());
    values.push_back(model::IntegerVariant(kIntegers[i].type, kIntegers[i].value));
  }
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_ARRAY | VT_VARIANT | VT_BYREF;
  arg.pparray = &variants;
  const model::DeclaredBound variant_bounds[] = {{0, kCount - 1}};
  const model::Variable m = client_.DimArray(model::vbVariant, variant_bounds);
  client_.AssignElements(m, values);
  const Address model_arg = client_.Pass(m);
  ExpectSameRows(At(&arg), model_arg, varALLINFO, vatIndexed);
  ExpectSameValues(At(&arg), model_arg, vatIndexed);
  SafeArrayDestroy(variants);
}

// Every code of the code page as a character, each asked of the runtime once
// per call; a Long array's characters, up to the first code past 255.
TEST_F(AgreementTest, ElementsAsCharactersOfEveryCode) {
  constexpr ULONG kCount = 512;  // characters take every second element
  SAFEARRAY* bytes = NewArray(VT_UI1, 0, kCount);
  ASSERT_NE(bytes, nullptr);
  std::vector<model::VariantImage> values;
  for (ULONG i = 0; i < kCount; ++i) {
    static_cast<uint8_t*>(bytes->pvData)[i] = static_cast<uint8_t>(i / 2);
    values.push_back(model::VariantImage::Byte(static_cast<uint8_t>(i / 2)));
  }
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_ARRAY | VT_UI1 | VT_BYREF;
  arg.pparray = &bytes;
  const model::DeclaredBound bounds[] = {{0, static_cast<int32_t>(kCount) - 1}};
  const model::Variable m = client_.DimArray(model::vbByte, bounds);
  client_.AssignElements(m, values);
  const Address model_arg = client_.Pass(m);
  for (const int32_t flags : {vatCharASCII, vatALLINFO}) {
    ExpectSameValuesBesideAddresses(At(&arg), model_arg, flags);
  }
  SafeArrayDestroy(bytes);

  SAFEARRAY* longs = NewArray(VT_I4, 1, 6);
  ASSERT_NE(longs, nullptr);
  const LONG numbers[] = {65, 66, 200, 201, 300, 301};
  std::memcpy(longs->pvData, numbers, sizeof numbers);
  arg.vt = VT_ARRAY | VT_I4 | VT_BYREF;
  arg.pparray = &longs;
  const model::DeclaredBound long_bounds[] = {{1, 6}};
  const model::Variable n = client_.DimArray(model::vbLong, long_bounds);
  std::vector<model::VariantImage> long_values;
  for (const LONG v : numbers) long_values.push_back(model::VariantImage::Long(v));
  client_.AssignElements(n, long_values);
  EXPECT_TRUE(ValuesWithoutAddresses(real_, At(&arg), vatCharASCII) == u"error 5");
  ExpectSameValuesBesideAddresses(At(&arg), client_.Pass(n), vatCharASCII);
  SafeArrayDestroy(longs);
}

// Enough strings that the walk splits them between two threads, short and
// long ones (put together on the stack or read into the report) and null
// ones, with their lengths.
TEST_F(AgreementTest, ManyStringsWithTheirLengthsSplitBetweenThreads) {
  constexpr ULONG kCount = 40000;
  SAFEARRAY* array = NewArray(VT_BSTR, 0, kCount);
  ASSERT_NE(array, nullptr);
  std::vector<model::VariantImage> values;
  for (ULONG i = 0; i < kCount; ++i) {
    const std::u16string text(i % 7 == 0 ? 0 : i % 300, static_cast<char16_t>(u'a' + i % 26));
    BSTR real = i % 7 == 0 ? nullptr
                           : SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                               static_cast<UINT>(text.size()));
    static_cast<BSTR*>(array->pvData)[i] = real;
    values.push_back(
        model::VariantImage::String(i % 7 == 0 ? 0 : model::SysAllocString(process_, text)));
  }
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_ARRAY | VT_BSTR | VT_BYREF;
  arg.pparray = &array;
  const model::DeclaredBound bounds[] = {{0, static_cast<int32_t>(kCount) - 1}};
  const model::Variable m = client_.DimArray(model::vbString, bounds);
  client_.AssignElements(m, values);
  const Address model_arg = client_.Pass(m);
  ExpectSameValuesBesideAddresses(At(&arg), model_arg, vatAddrLen);
  ExpectSameValuesBesideAddresses(At(&arg), model_arg, vatAddrLen | vatIndexed);
  SafeArrayDestroy(array);
}

}  // namespace
}  // namespace dudUdudADOD::windows
