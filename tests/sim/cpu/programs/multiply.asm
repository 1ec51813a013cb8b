; 16 x 16 -> 32-bit multiplication built from MUL AB and ADDC, and 16 / 16 division by
; shift and subtract (RLC, SUBB, DJNZ on B). Products go to 0x40 + 4i (low byte first),
; quotient and remainder to the upper RAM at 0x80 + 4i through @R1.
        .area CODE (ABS,CODE)
        .org 0x0000
        ljmp start

        .org 0x0100
start:  mov r0,#0xff
clear:  mov @r0,#0
        djnz r0,clear
        mov sp,#0x60
        mov 0x26,#0             ; pair index
        mov 0x27,#0x40          ; product pointer
        mov 0x28,#0x80          ; quotient pointer
loop:   mov a,0x26
        rl a
        rl a
        mov dptr,#pairs
        mov r7,a
        movc a,@a+dptr
        mov r2,a                ; a low
        mov a,r7
        inc a
        movc a,@a+dptr
        mov r3,a                ; a high
        mov a,r7
        add a,#2
        movc a,@a+dptr
        mov r4,a                ; b low
        mov a,r7
        add a,#3
        movc a,@a+dptr
        mov r5,a                ; b high
        acall mul16
        mov r1,0x27
        mov @r1,0x20
        inc r1
        mov @r1,0x21
        inc r1
        mov @r1,0x22
        inc r1
        mov @r1,0x23
        inc r1
        mov 0x27,r1
        acall div16
        mov r1,0x28
        mov a,r2
        mov @r1,a
        inc r1
        mov a,r3
        mov @r1,a
        inc r1
        mov a,r6
        mov @r1,a
        inc r1
        mov a,r7
        mov @r1,a
        inc r1
        mov 0x28,r1
        inc 0x26
        mov a,0x26
        cjne a,#8,loop
        ljmp halt

; 0x20..0x23 = r3:r2 * r5:r4
mul16:  mov a,r2
        mov b,r4
        mul ab
        mov 0x20,a
        mov 0x21,b
        mov a,r3
        mov b,r4
        mul ab
        add a,0x21
        mov 0x21,a
        mov a,b
        addc a,#0
        mov 0x22,a
        mov a,r2
        mov b,r5
        mul ab
        add a,0x21
        mov 0x21,a
        mov a,b
        addc a,0x22
        mov 0x22,a
        clr a
        addc a,#0
        mov 0x23,a
        mov a,r3
        mov b,r5
        mul ab
        add a,0x22
        mov 0x22,a
        mov a,b
        addc a,0x23
        mov 0x23,a
        ret

; r3:r2 / r5:r4 -> quotient r3:r2, remainder r7:r6 (divisor not zero)
div16:  mov r7,#0
        mov r6,#0
        mov b,#16
dloop:  clr c
        mov a,r2
        rlc a
        mov r2,a
        mov a,r3
        rlc a
        mov r3,a
        mov a,r6
        rlc a
        mov r6,a
        mov a,r7
        rlc a
        mov r7,a
        clr c
        mov a,r6
        subb a,r4
        mov 0x24,a
        mov a,r7
        subb a,r5
        jc dskip
        mov r7,a
        mov r6,0x24
        inc r2
dskip:  djnz b,dloop
        ret

pairs:  .db 0xff, 0xff, 0xff, 0xff   ; a low, a high, b low, b high
        .db 0x34, 0x12, 0x78, 0x56
        .db 0x00, 0x00, 0x34, 0x12
        .db 0x00, 0x80, 0x02, 0x00
        .db 0x07, 0x00, 0x09, 0x00
        .db 0xff, 0xff, 0x07, 0x00
        .db 0x34, 0x12, 0x12, 0x00
        .db 0x05, 0x00, 0xff, 0x00

        .org 0xfff0
halt:   sjmp halt
