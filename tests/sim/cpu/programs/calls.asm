; Calls and jumps: a recursive Fibonacci through the stack (0x40/0x41 = fib(15) = 610),
; AJMP and ACALL placed at the last bytes of a 2 KiB block (markers at 0x42/0x43), a
; JMP @A+DPTR dispatch table (0x44 accumulates the cases taken) and a MOVC @A+PC lookup
; (0x48..0x4F). 0x45 holds the stack pointer at the end.
        .area CODE (ABS,CODE)
        .org 0x0000
        ljmp start

        .org 0x0100
start:  mov r0,#0xff
clear:  mov @r0,#0
        djnz r0,clear
        mov sp,#0x60
        mov r7,#15
        lcall fib
        mov 0x40,r4
        mov 0x41,r5
        ljmp edge               ; AJMP at the end of the first 2 KiB block
back1:  mov r2,#0               ; dispatch cases 0..3 twice each
disp:   mov a,r2
        anl a,#3
        rl a                    ; AJMP entries are two bytes
        mov dptr,#table
        jmp @a+dptr
next:   inc r2
        cjne r2,#8,disp
        mov r2,#0
        mov r1,#0x48
look:   mov a,r2
        acall lookup
        mov @r1,a
        inc r1
        inc r2
        cjne r2,#8,look
        mov 0x45,sp
        ljmp halt

table:  ajmp case0
        ajmp case1
        ajmp case2
        ajmp case3
case0:  mov a,#0x01
        sjmp merge
case1:  mov a,#0x10
        sjmp merge
case2:  mov a,#0x04
        sjmp merge
case3:  mov a,#0x40
merge:  add a,0x44
        mov 0x44,a
        sjmp next

lookup: inc a                   ; skip the RET that follows the MOVC
        movc a,@a+pc
        ret
        .db 0x3f, 0x06, 0x5b, 0x4f, 0x66, 0x6d, 0x7d, 0x07

; fib(r7) -> r5:r4; keeps r7
fib:    mov a,r7
        clr c
        subb a,#2
        jnc recurse
        mov a,r7
        mov r4,a
        mov r5,#0
        ret
recurse: push 0x07
        dec r7
        acall fib
        push 0x04
        push 0x05
        dec r7
        lcall fib
        pop b
        pop acc
        add a,r4
        mov r4,a
        mov a,b
        addc a,r5
        mov r5,a
        pop 0x07
        ret

        .org 0x07fe
; The linker checks the 2 KiB block against the instruction's own address, not the next
; one as the processor does, so these two are spelled out as bytes.
edge:   .db 0x21, 0x00          ; ajmp far1 (0x0900): the next PC is 0x0800

        .org 0x0900
far1:   mov 0x42,#0x5a
        ljmp edge2

        .org 0x0ffe
edge2:  .db 0x51, 0x34          ; acall far2 (0x1234): returns to 0x1000
        .org 0x1000
        mov 0x43,a
        ljmp back1

        .org 0x1234
far2:   mov a,#0xa5
        ret

        .org 0xfff0
halt:   sjmp halt
