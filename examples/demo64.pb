; A 64-bit example. Compiled by a PureBasic x64 compiler (5.4x and later), it converts into an
; AMD64 object or library; integers (.i), strings and addresses are 64 bits wide there, and
; every export follows the one Windows x64 calling convention.
Public total.i

Procedure.i Larger(a.i, b.i)
  If a > b : ProcedureReturn a : EndIf
  ProcedureReturn b
EndProcedure

ProcedureDLL.i AddUp(a.i, b.i)
  total = total + Larger(a, b) + a + b
  ProcedureReturn total
EndProcedure

ProcedureCDLL.i Biggest(a.i, b.i, c.i, d.i, e.i)
  ProcedureReturn Larger(Larger(Larger(a, b), Larger(c, d)), e)
EndProcedure
