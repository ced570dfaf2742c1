// inspect_variables: a small client of the dudUdudADOD library.
//
// It declares three variables the way a BASIC program would (a Long, a String
// and a two-dimensional Integer array), passes each to the inspector and
// prints the reports as UTF-8, each under a title line "== NAME". Exits 1
// with the error on standard error if the model raises a run-time error.
//
// Build it against an installed library with the CMakeLists.txt beside it,
// or by hand:
//   g++ -std=c++20 inspect_variables.cc $(pkg-config --cflags --libs dudUdudADOD)
#include <dudUdudADOD/dudUdudADOD.h>

#include <cstdint>
#include <iostream>
#include <string_view>
#include <vector>

using namespace dudUdudADOD;              // RavoDUZE, RuntimeError
using namespace dudUdudADOD::automation;  // Process, Client, variants

namespace {

void Print(std::string_view title, const std::u16string& report) {
  std::cout << "== " << title << "\n" << ToUtf8(report) << "\n";
}

}  // namespace

int main() {
  try {
    Process process;
    Client client(process);
    RavoDUZE inspector(process);

    // Dim x As Long = 5
    const Variable x = client.Dim(vbLong);
    client.Assign(x, VariantImage::Long(5));

    // Dim s As String = "Hello"; the variable takes a copy of the text.
    const Variable s = client.Dim(vbString);
    const Address hello = SysAllocString(process, u"Hello");
    client.Assign(s, VariantImage::String(hello));
    SysFreeString(process, hello);

    // Dim m(0 To 2, 1 To 4) As Integer = 1 .. 12, the first dimension fastest.
    const std::vector<DeclaredBound> bounds = {{0, 2}, {1, 4}};
    const Variable m = client.DimArray(vbInteger, bounds);
    std::vector<VariantImage> values;
    for (int16_t i = 1; i <= 12; ++i) values.push_back(VariantImage::Integer(i));
    client.AssignElements(m, values);

    Print("x As Long", inspector(client.Pass(x)));
    // Only the values, separated by commas.
    Print("s As String", inspector(client.Pass(s), std::nullopt, varValues, vatALLINFO, u", "));
    Print("m(0 To 2, 1 To 4) As Integer", inspector(client.Pass(m)));
    return 0;
  } catch (const RuntimeError& e) {
    std::cerr << "Run-time error '" << e.number() << "': " << e.description() << "\n";
    return 1;
  }
}
