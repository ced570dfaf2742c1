Attribute VB_Name = "RavoDUZEDemo"
' Reports four variables into the Immediate window (Ctrl+G): a Long, a
' String, an array of Variants and a two-dimensional array of Integers.
'
' Import it (File > Import File... in the VBA editor, Alt+F11), then run
' ReportVariables (F5). The component must be installed first; see
' INSTALL.txt. This module binds late, through CreateObject, so it needs no
' reference; with Tools > References > dudUdudADOD checked, write
' Dim inspector As New RavoDUZE instead and the editor lists the
' methods and the flag names (varValues, vatNOTHING, ...) as you type.
Option Explicit

Public Sub ReportVariables()
    Dim inspector As Object
    Set inspector = CreateObject("dudUdudADOD.RavoDUZE")

    Dim count As Long
    count = 5
    Debug.Print inspector.RavoDUZE(count)

    Dim greeting As String
    greeting = "Hello"
    Debug.Print inspector.RavoDUZE(greeting)

    Dim items(1 To 3) As Variant
    items(1) = 1
    items(2) = "two"
    items(3) = 3.5
    Debug.Print inspector.RavoDUZE(items)

    ' Two dimensions; only the descriptor, the bounds and the values
    ' (varSA_Stru + varSA_Bounds + varValues = 4 + 8 + 16).
    Dim grid(1 To 2, 1 To 3) As Integer
    Dim row As Long, column As Long
    For row = 1 To 2
        For column = 1 To 3
            grid(row, column) = row * 10 + column
        Next column
    Next row
    Debug.Print inspector.RavoDUZE(grid, False, 4 + 8 + 16)
End Sub
