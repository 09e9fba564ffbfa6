# Instruction forms of 32-bit code: assembled by the disassembler's test (as --32)
# and listed by objdump -M intel,i386, whose text the disassembler must match.
add ax, 0x1234
add eax, 0x12345678
add byte ptr [eax], al
add dword ptr [0x12345678], ecx
mov eax, fs:[0x18]
mov eax, dword ptr fs:[eax+4]
mov eax, [ebx+ecx*4+0x10]
mov eax, [ebx+ecx*2-0x80]
mov eax, [esp+8]
mov eax, [ebp-4]
mov eax, [ecx*8+0x400000]
mov al, [0x1234]
mov ds:[0x1234], eax
mov ax, [bx+si]
mov ax, [bp+di+0x10]
mov ax, word ptr [0x1234]
lea esi, [esi+0]
lea edi, [edi+eiz*1+0]
inc eax
dec edi
inc cx
push eax
push 0x12345678
push -1
pop ebp
pusha
popa
pushf
popf
imul eax, ecx, 0x100
imul eax, [ebx], -3
jmp 0x1234:0x56789abc
call 0x10:0x20
les eax, [ebx]
lds ecx, [0x1000]
bound eax, [ecx]
aaa
daa
aam
aad
into
jecxz .+2
jcxz .+3
loop .+2
enter 16, 0
leave
ret
ret 8
retf
int 0x21
int3
in al, dx
out dx, eax
xchg eax, ecx
xchg ax, dx
nop
cwde
cdq
cbw
cwd
shl dword ptr [eax], 1
sar ecx, cl
rol al, 3
test byte ptr [eax], 0x80
test ecx, edx
not dword ptr [esi]
neg eax
mul ecx
div dword ptr [eax]
idiv ecx
call [eax]
call eax
jmp [ebx*4+0x400000]
call dword ptr fs:[0x10]
push dword ptr [eax]
movzx eax, byte ptr [esi]
movsx eax, word ptr [esi]
bswap eax
cmpxchg8b [esi]
lock xadd [eax], ecx
setne al
cmove eax, [ebx]
bt eax, 3
bts [eax], ecx
shld eax, edx, 4
shrd eax, edx, cl
cpuid
rdtsc
sysenter
mov eax, cr0
mov cr3, eax
mov eax, dr7
mov ds, ax
mov ax, es
push es
pop ds
push fs
pop gs
fld dword ptr [eax]
fld qword ptr [eax]
fld tbyte ptr [eax]
fstp st(3)
fadd st, st(2)
fadd st(2), st
faddp st(1), st
fsubrp st(1), st
fdivp st(1), st
fxch st(1)
fild dword ptr [ebp-8]
fistp qword ptr [ebp-8]
fnstsw ax
fnstcw [esp]
fldcw [esp]
fwait
fstsw ax
fucomip st, st(1)
fcmovnbe st, st(1)
fldz
fld1
fchs
fsqrt
emms
movd mm0, eax
movq mm1, [eax]
paddb mm0, mm1
psrlw mm2, 3
pxor mm0, mm0
movaps xmm0, [eax]
movups [eax], xmm1
addps xmm0, xmm1
mulsd xmm0, qword ptr [eax]
cvtsi2sd xmm0, eax
cvttsd2si eax, xmm1
pxor xmm0, xmm0
pshufd xmm0, xmm1, 0x1b
pcmpeqb xmm0, [ebx]
pmovmskb eax, xmm0
movdqa xmm0, [eax]
movdqu [eax], xmm7
cmpltps xmm1, xmm2
pinsrw xmm0, eax, 2
pextrw eax, xmm0, 2
palignr xmm0, xmm1, 4
pshufb xmm0, xmm1
popcnt eax, ecx
tzcnt eax, ecx
lzcnt eax, [eax]
crc32 eax, byte ptr [esi]
crc32 eax, dword ptr [esi]
movbe eax, [esi]
vaddps ymm0, ymm1, ymm2
vmovdqu ymm0, [eax]
vpbroadcastd ymm0, xmm1
vpcmpeqb ymm1, ymm2, [eax+0x20]
vfmadd231ps xmm0, xmm1, xmm2
vpxord zmm0, zmm1, zmm2
vmovdqu8 zmm0{k1}{z}, [eax]
vpcmpeqb k1, zmm0, [eax+0x40]
kmovd eax, k1
andn eax, ecx, edx
shlx eax, ecx, edx
vzeroupper
sfence
lfence
mfence
clflush [eax]
prefetchnta [eax]
xsave [esp]
fxsave [esp]
ud2
hlt
rep movsb
movsd
rep stosw
repe cmpsb
repne scasd
lodsb
xlat
insb
outsd
fwait
fld st(0)
fstenv [eax]
fsave [eax]
fclex
finit
fstcw [esp]
