; Timer 0 in 16-bit mode reloaded by its handler every 200 counts (as a tick) at low
; priority, and timer 1 in auto-reload mode every 100 counts at high priority. The main
; loop waits until 40 ticks have passed: 0x30 = ticks, 0x31 = timer 1 interrupts,
; 0x34 = 1 once timer 1 has interrupted the tick handler. The stack is cleared at the
; end, so nothing left depends on where exactly each interrupt struck.
        .area CODE (ABS,CODE)
        .org 0x0000
        ljmp start
        .org 0x000b
        ljmp tick
        .org 0x001b
        ljmp fast

        .org 0x0100
start:  mov r0,#0xff
clear:  mov @r0,#0
        djnz r0,clear
        mov sp,#0x60
        mov tmod,#0x21          ; timer 1 mode 2, timer 0 mode 1
        mov th1,#0x9c           ; 256 - 100
        mov tl1,#0x9c
        mov th0,#0xff
        mov tl0,#0x38           ; 200 counts
        mov ip,#0x08            ; timer 1 high
        mov ie,#0x8a            ; EA, ET1, ET0
        setb tr0
        setb tr1
count:  mov a,0x30
        cjne a,#40,count
        clr ea
        mov r0,#0x60            ; the stack holds return addresses of random moments
wipe:   mov @r0,#0
        inc r0
        cjne r0,#0x80,wipe
        ljmp halt

tick:   push psw
        push acc
        clr tr0
        mov a,tl0
        add a,#0x3a             ; 0x10000 - 200 plus the counts already run, +2 stopped
        mov tl0,a
        mov a,th0
        addc a,#0xff
        mov th0,a
        setb tr0
        setb 0x00               ; inside the tick handler
        inc 0x30
        nop
        nop
        nop
        nop
        clr 0x00
        pop acc
        pop psw
        reti

fast:   inc 0x31
        jnb 0x00,fast1
        mov 0x34,#1
fast1:  reti

        .org 0xfff0
halt:   sjmp halt
