; MikasBootstrap: the bootstrap program for Микас 7.1 / 7.2.
;
; What sets it apart from the Январь program: one flash page, normal command addressing
; only, the EEPROM on the first pair of port lines, no finish request, and its own view of
; the flash chips: the Atmel-type kinds (0x13, 0x0B) are waited for by time instead of by
; status bits, and a chip it does not know is never written.

        .include "common.inc"

ERASE_WAIT_STEPS        = 10    ; timed erase: 10 x 200 ticks, about 3.5 s
ERASE_WAIT_STEP_TICKS   = 200
TIMED_PROGRAM_POLLS     = 14

ModelStart:
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
6$:     ljmp MainLoop                   ; no handler: no reply

ClampEraseByte:
        cjne a,#26,1$
1$:     jc 2$
        mov a,#25
2$:     ret

FlashCommand = FlashCommandNormal

; ReadDeviceCode: chipKind = the device code, or 0 when the chip is not one of ours.
ReadDeviceCode:
        mov a,#CMD_AUTOSELECT
        lcall FlashCommand
        mov dptr,#0x0001
        movx a,@dptr
        mov chipKind,a
        mov a,#CMD_RESET
        movx @dptr,a
        mov dptr,#KnownChips
        lcall ClassifyChip
        jnc 1$
        mov chipKind,#0
1$:     ret

KnownChips:
        .db 0x20, 0x13, 0x0B, 0xB0, 0x34, 0x00

; IsTimedChip: C set for the kinds whose status bits are not relied on.
IsTimedChip:
        mov a,chipKind
        cjne a,#0x13,1$
        sjmp 2$
1$:     cjne a,#0x0B,3$
2$:     setb c
        ret
3$:     clr c
        ret

; The timed kinds get a fixed erase time and count as erased; the others (and a chip not
; recognised) are polled.
WaitErased:
        lcall IsTimedChip
        jc 1$
        ljmp PollErased
1$:     mov r2,#ERASE_WAIT_STEPS
2$:     mov tickCountdown,#ERASE_WAIT_STEP_TICKS
3$:     mov a,tickCountdown
        jnz 3$
        djnz r2,2$
        clr c
        ret

; The timed kinds get a few polls of DQ7 only; the read-back decides.
WaitProgrammed:
        lcall IsTimedChip
        jc 1$
        ljmp PollProgrammed
1$:     mov r4,#TIMED_PROGRAM_POLLS
2$:     movx a,@dptr
        xrl a,r3
        jnb DQ7,3$
        djnz r4,2$
3$:     ret

; A chip that is not recognised fails every write request at once.
PrepareProgramming:
        jb progState,1$
        lcall ReadDeviceCode
        setb progState
1$:     mov a,chipKind
        add a,#0xFF                     ; C set when recognised
        cpl c
        ret

; One flash page: the bank byte is not used.
SelectPage:
        ret

SelectWiring = UseFirstWiring
