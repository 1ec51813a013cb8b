; Two bitwise CRCs over the text "123456789": CRC-16 with polynomial 0x1021 and initial
; value 0xFFFF shifted left (check value 0x29B1) at 0x40/0x41, and CRC-16 with the
; reflected polynomial 0xA001 and initial value 0 shifted right (check value 0xBB3D) at
; 0x42/0x43, both high byte first.
        .area CODE (ABS,CODE)
        .org 0x0000
        ljmp start

        .org 0x0100
start:  mov r0,#0xff
clear:  mov @r0,#0
        djnz r0,clear
        mov sp,#0x60
        ; left-shifting CRC in r7:r6
        mov r7,#0xff
        mov r6,#0xff
        mov dptr,#text
bytel:  clr a
        movc a,@a+dptr
        jz donel
        xrl a,r7
        mov r7,a
        mov r5,#8
bitl:   clr c
        mov a,r6
        rlc a
        mov r6,a
        mov a,r7
        rlc a
        mov r7,a
        jnc nextl
        xrl 0x06,#0x21          ; R6 of bank 0
        xrl 0x07,#0x10          ; R7
nextl:  djnz r5,bitl
        inc dptr
        sjmp bytel
donel:  mov 0x40,r7
        mov 0x41,r6
        ; right-shifting CRC in r7:r6, the carry tested as a bit
        mov r7,#0
        mov r6,#0
        mov dptr,#text
byter:  clr a
        movc a,@a+dptr
        jz doner
        xrl a,r6
        mov r6,a
        mov r5,#8
bitr:   clr c
        mov a,r7
        rrc a
        mov r7,a
        mov a,r6
        rrc a
        mov r6,a
        mov 0x20,psw            ; bit 0x07 = CY
        jnb 0x07,nextr
        mov a,r6
        xrl a,#0x01
        mov r6,a
        mov a,r7
        xrl a,#0xa0
        mov r7,a
nextr:  djnz r5,bitr
        inc dptr
        sjmp byter
doner:  mov 0x42,r7
        mov 0x43,r6
        ljmp halt

text:   .ascii "123456789"
        .db 0

        .org 0xfff0
halt:   sjmp halt
