; JanuaryBootstrap: the bootstrap program for Январь 5.x, VS 5.1 and Январь 7.2.
;
; What sets it apart from the Микас program: two flash pages selected by P1.4, the
; alternate command addressing of the byte-mode chips (chosen by bit 7 of the erase byte),
; the EEPROM on one of three pairs of port lines, the finish request 0x9A and the range
; checksum request 0x99.

        .include "common.inc"

SECOND_WIRING_BIT       = 0xE6  ; ACC.6 and ACC.7 holding the EEPROM address high byte
THIRD_WIRING_BIT        = 0xE7

ModelStart:
        clr PAGE_LINE
        ret

Dispatch:
        mov a,frameBuf
        cjne a,#0x90,1$
        ljmp HandleEraseParams
1$:     cjne a,#0x91,2$
        ljmp HandleErase
2$:     cjne a,#0x92,3$
        ljmp HandleWriteFlash
3$:     cjne a,#0x93,4$
        ljmp HandleReadFlash
4$:     cjne a,#0x97,5$
        ljmp HandleWriteEeprom
5$:     cjne a,#0x98,6$
        ljmp HandleReadEeprom
6$:     cjne a,#0x9A,7$
        ljmp HandleFinish
7$:     cjne a,#0x99,8$
        ljmp HandleRangeChecksum
8$:     ljmp MainLoop                   ; no handler: no reply

; 0x9A: the PC is done. With interrupts off the tick and the periodic output stop, and the
; program waits for further requests without a time limit.
HandleFinish:
        clr EA
        ljmp MainLoop

; 0x99: bank, address (low, high), count (low, high; 0 stands for 65,536). Replies with the
; five parameters echoed and the CRC-16 (polynomial 0x1021, start value 0xFFFF, low byte
; first) of count bytes of the page from the address on, the address wrapping inside the
; page. The PC compares it with the sum of what it wrote instead of reading the bytes back.
; The bytes are read with MOVX @R0 (P2 gives the high address byte) so that DPTR can stay on
; the table; 19 machine cycles a byte, about 0.47 s for a whole page. The tick keeps running
; meanwhile: it is an interrupt.
HandleRangeChecksum:
        mov a,frameLen
        cjne a,#6,1$
1$:     jc 9$                           ; parameters missing
        lcall SelectPage
        mov r0,frameBuf+2
        mov P2,frameBuf+3
        mov r7,frameBuf+4
        mov r6,frameBuf+5
        mov a,r7
        jz 2$
        inc r6                          ; r6 counts the passes of the inner loop
2$:     mov r3,#0xFF                    ; r3:r2 the CRC, high:low
        mov r2,#0xFF
        mov dptr,#CrcTableHigh
3$:     movx a,@r0
        xrl a,r3
        mov r1,a
        movc a,@a+dptr
        xrl a,r2
        mov r3,a
        mov a,r1
        inc dph                         ; CrcTableLow
        movc a,@a+dptr
        dec dph
        mov r2,a
        inc r0
        cjne r0,#0,4$
        inc P2
4$:     djnz r7,3$
        djnz r6,3$
        mov P2,#0xFF                    ; the port's state after reset
        mov frameBuf+6,r2
        mov frameBuf+7,r3
        mov frameLen,#8
        ljmp ReplyAndLoop
9$:     ljmp MainLoop

; Bit 7 picks the command addressing and passes through; the rest is at most 25.
ClampEraseByte:
        mov r2,a
        anl a,#0x7F
        cjne a,#26,1$
1$:     jc 2$
        mov a,#25
2$:     xch a,r2
        anl a,#0x80
        orl a,r2
        ret

; FlashCommand: A = command. The byte-mode chips decode only the low address lines in
; command cycles and unlock with 0xAA at 0xAAAA, 0x55 at 0x5555, command at 0xAAAA.
FlashCommand:
        jb altAddressing,1$
        ljmp FlashCommandNormal
1$:     mov r2,a
        mov dptr,#0xAAAA
        mov a,#0xAA
        movx @dptr,a
        mov dptr,#0x5555
        mov a,#0x55
        movx @dptr,a
        mov dptr,#0xAAAA
        mov a,r2
        movx @dptr,a
        ret

; ReadDeviceCode: the byte-mode chips give their code at address 2. A chip outside the
; table is driven like the first kind: the same sequences work on all of them.
ReadDeviceCode:
        mov a,#CMD_AUTOSELECT
        lcall FlashCommand
        mov dptr,#0x0001
        jnb altAddressing,1$
        inc dptr
1$:     movx a,@dptr
        mov chipKind,a
        mov a,#CMD_RESET
        movx @dptr,a
        mov dptr,#KnownChips
        lcall ClassifyChip
        jnc 2$
        mov chipKind,#0x20
2$:     ret

KnownChips:
        .db 0x20, 0x13, 0x0B, 0xB0, 0x34, 0x51, 0x57, 0x00

WaitErased = PollErased
WaitProgrammed = PollProgrammed

PrepareProgramming:
        jb progState,1$
        lcall ReadDeviceCode
        setb progState
1$:     clr c
        ret

; Bit 0 of the bank byte drives A16: the first or the second 64 KiB page.
SelectPage:
        mov a,frameBuf+1
        rrc a
        mov PAGE_LINE,c
        ret

; Bit 7 of the address high byte: third pair; else bit 6: second pair; else the first.
SelectWiring:
        mov a,frameBuf+2
        jb THIRD_WIRING_BIT,2$
        jb SECOND_WIRING_BIT,1$
        ljmp UseFirstWiring
1$:     mov sclMask,#0x04
        mov sdaMask,#0x08
        clr i2cOnPort3
        ret
2$:     mov sclMask,#0x10
        mov sdaMask,#0x20
        setb i2cOnPort3
        ret

        .include "crc16.inc"
