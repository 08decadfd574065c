; A small library source: two exported procedures, a helper, and exported data.
Public Dim table.l(9), counter.l

Procedure.l Square(x.l)
  ProcedureReturn x * x
EndProcedure

ProcedureDLL.l SumOfSquares(n.l)
  Protected i.l, total.l
  For i = 1 To n
    total = total + Square(i)
  Next
  counter = counter + 1
  ProcedureReturn total
EndProcedure

ProcedureCDLL.l Greet(name$)
  ProcedureReturn MessageRequester("brisko demo", name$)
EndProcedure
