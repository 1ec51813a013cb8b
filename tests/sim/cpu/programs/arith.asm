; Runs ADDC, DA, SUBB, ADD, MUL and DIV over every accumulator value against a table of
; boundary operands, with the carry clear and set, and folds every result and the flags
; it leaves into checksums at 0x30-0x35. The end state is compared with an independent
; simulator, so any difference in a result or a flag shows up.
        .area CODE (ABS,CODE)
        .org 0x0000
        ljmp start

        .org 0x0100
start:  mov r0,#0xff            ; clear the internal RAM (both simulators start alike)
clear:  mov @r0,#0
        djnz r0,clear
        mov sp,#0x60
        mov r7,#0               ; x runs 0, 255, 254 ... 1
xloop:  mov r6,#0
yloop:  mov a,r6
        mov dptr,#ytab
        movc a,@a+dptr
        mov r4,a                ; y
        clr c
        mov a,r7
        addc a,r4
        acall mix
        da a
        acall mix
        setb c
        mov a,r7
        addc a,r4
        acall mix
        da a
        acall mix
        clr c
        mov a,r7
        subb a,r4
        acall mix
        setb c
        mov a,r7
        subb a,r4
        acall mix
        setb c
        mov a,r7
        add a,r4
        acall mix
        inc r6
        cjne r6,#10,yloop
        mov a,r7                ; MUL and DIV with b = (x xor 0x5a) or 1
        xrl a,#0x5a
        orl a,#1
        mov b,a
        mov a,r7
        mul ab
        acall mix
        mov a,b
        acall mix
        mov a,r7
        xrl a,#0x5a
        orl a,#1
        mov b,a
        mov a,r7
        div ab
        acall mix
        mov a,b
        acall mix
        djnz r7,xloop
        mov b,#0                ; division by zero: only the flags are defined
        mov a,#0x42
        div ab
        mov a,psw
        anl a,#0x84
        mov 0x36,a
        ljmp halt

; Folds A and the flags into the checksums; keeps A and PSW.
mix:    push psw
        push acc
        xrl a,0x30
        rl a
        mov 0x30,a              ; 0x30: rotating xor of the results
        pop acc
        push acc
        add a,0x31
        mov 0x31,a              ; 0x31/0x32: 16-bit sum of the results
        clr a
        addc a,0x32
        mov 0x32,a
        mov a,sp
        mov r0,a
        dec r0
        mov a,@r0               ; the saved PSW
        anl a,#0xc5             ; CY AC OV P
        xrl a,0x33
        rl a
        mov 0x33,a              ; 0x33: rotating xor of the flags
        mov a,@r0
        add a,0x34
        mov 0x34,a              ; 0x34/0x35: 16-bit sum of the flags
        clr a
        addc a,0x35
        mov 0x35,a
        pop acc
        pop psw
        ret

ytab:   .db 0x00, 0x01, 0x06, 0x0f, 0x10, 0x7f, 0x80, 0x99, 0xf0, 0xff

        .org 0xfff0
halt:   sjmp halt
