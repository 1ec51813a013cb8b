; Copies 32 bytes from a code table (MOVC @A+DPTR) to 0x40 and bubble-sorts them in place
; through @R0/@R1, comparing with CJNE; 0x30/0x31 count the swaps (the inversions).
        .area CODE (ABS,CODE)
        .org 0x0000
        ljmp start

        .org 0x0100
start:  mov r0,#0xff
clear:  mov @r0,#0
        djnz r0,clear
        mov sp,#0x60
        mov dptr,#values
        mov r0,#0x40
        mov r2,#32
copy:   clr a
        movc a,@a+dptr
        mov @r0,a
        inc dptr
        inc r0
        djnz r2,copy
        mov r3,#31              ; passes
pass:   mov r0,#0x40
        mov r1,#0x41
        mov r2,#31              ; comparisons per pass
inner:  mov a,@r1
        mov r4,a
        mov a,@r0
        cjne a,0x04,differ      ; compare with R4 (bank 0)
        sjmp next               ; equal: keep
differ: jc next                 ; first < second: keep
        xch a,@r1               ; swap
        mov @r0,a
        mov a,0x30
        add a,#1
        mov 0x30,a
        clr a
        addc a,0x31
        mov 0x31,a
next:   inc r0
        inc r1
        djnz r2,inner
        djnz r3,pass
        ljmp halt

values: .db 0x37, 0x80, 0x7f, 0x00, 0xff, 0x12, 0x37, 0x01
        .db 0xfe, 0x81, 0x42, 0x99, 0x00, 0x5a, 0xa5, 0x10
        .db 0x20, 0x30, 0xc0, 0x0f, 0xf0, 0x37, 0x66, 0x77
        .db 0x88, 0x01, 0xef, 0xcd, 0xab, 0x90, 0x09, 0x7e

        .org 0xfff0
halt:   sjmp halt
