; Adds pairs of 8-digit packed BCD numbers with ADDC and DA A; each 5-byte sum (low byte
; first, the last byte the carry digit) goes to 0x40 + 5i.
        .area CODE (ABS,CODE)
        .org 0x0000
        ljmp start

        .org 0x0100
start:  mov r0,#0xff
clear:  mov @r0,#0
        djnz r0,clear
        mov sp,#0x60
        mov dptr,#numbers
        mov r1,#0x40
        mov r6,#4               ; pairs
pair:   clr c
        mov r5,#4               ; bytes per number
        mov r2,#0
digit:  push psw                ; keep the decimal carry across the table reads
        mov a,r2
        movc a,@a+dptr          ; byte of the first number
        mov r3,a
        mov a,r2
        add a,#4
        movc a,@a+dptr          ; byte of the second number
        mov r4,a
        pop psw
        mov a,r3
        addc a,r4
        da a
        mov @r1,a
        inc r1
        inc r2
        djnz r5,digit
        clr a
        rlc a
        mov @r1,a
        inc r1
        inc dptr                ; next pair: 8 bytes on
        inc dptr
        inc dptr
        inc dptr
        inc dptr
        inc dptr
        inc dptr
        inc dptr
        djnz r6,pair
        ljmp halt

; Each number low byte first: 12345678 is 0x78 0x56 0x34 0x12.
numbers: .db 0x78, 0x56, 0x34, 0x12,  0x22, 0x44, 0x66, 0x88   ; 12345678 + 88664422
         .db 0x99, 0x99, 0x99, 0x99,  0x01, 0x00, 0x00, 0x00   ; 99999999 + 1
         .db 0x09, 0x19, 0x29, 0x39,  0x09, 0x09, 0x09, 0x09   ; 39291909 + 09090909
         .db 0x50, 0x50, 0x50, 0x50,  0x50, 0x50, 0x50, 0x50   ; 50505050 + 50505050

        .org 0xfff0
halt:   sjmp halt
