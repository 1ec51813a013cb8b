; The external bus: fills 0x1200..0x12FF through DPTR with 3i+7, reads it back through
; @R0 with P2 = 0x12 into a 16-bit sum (0x30/0x31), writes 16 bytes through @R1 with
; P2 = 0x34 and copies them back through DPTR to 0x40..0x4F.
        .area CODE (ABS,CODE)
        .org 0x0000
        ljmp start

        .org 0x0100
start:  mov r0,#0xff
clear:  mov @r0,#0
        djnz r0,clear
        mov sp,#0x60
        mov dptr,#0x1200
        mov r2,#0
fill:   mov a,r2
        mov b,#3
        mul ab
        add a,#7
        movx @dptr,a
        inc dptr
        inc r2
        mov a,r2
        jnz fill
        mov p2,#0x12
        mov r0,#0
sum:    movx a,@r0
        add a,0x30
        mov 0x30,a
        clr a
        addc a,0x31
        mov 0x31,a
        inc r0
        mov a,r0
        jnz sum
        mov p2,#0x34
        mov r1,#0xf0
put:    mov a,r1
        cpl a
        swap a
        movx @r1,a
        inc r1
        mov a,r1
        jnz put
        mov dptr,#0x34f0
        mov r0,#0x40
get:    movx a,@dptr
        mov @r0,a
        inc dptr
        inc r0
        cjne r0,#0x50,get
        ljmp halt

        .org 0xfff0
halt:   sjmp halt
