' Reports three of a script's own variables into the console:
'   cscript //nologo report.vbs
' The component must be installed first; see INSTALL.txt. A script's
' variables are Variants: 5 arrives as an Integer, CLng(5) as a Long.
Option Explicit
Dim inspector, count, greeting, items
Set inspector = CreateObject("dudUdudADOD.RavoDUZE")

count = CLng(5)
WScript.Echo inspector.RavoDUZE(count)

greeting = "Hello"
WScript.Echo inspector.RavoDUZE(greeting, False, 2 + 16)   ' varDef + varValues

items = Array(1, "two", 3.5)
WScript.Echo inspector.RavoDUZE(items, False, 16)          ' varValues
