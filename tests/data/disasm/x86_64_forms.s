# Instruction forms of long mode: assembled by the disassembler's test (as --64)
# and listed by objdump -M intel, whose text the disassembler must match.
mov rax, qword ptr [rip+0x100]
cmp dword ptr [rip+0x200], 0x12345678
cmp byte ptr [rip-0x10], 5
mov r8b, sil
mov spl, 1
mov ah, bh
movzx r10d, r11b
movsxd rax, ecx
movabs rax, 0x123456789abcdef0
movabs al, [0x1122334455667788]
mov eax, 0xffffffff
mov rax, -1
add rsp, -128
and rsp, -16
imul r12, r13, 0x7fff
lea r15, [r14+r13*8+0x7f]
lea rax, [r12]
lea rax, [r13]
lea rax, [rsp+r12*1]
push r15
pop r12
push 0x7f
push qword ptr [rax]
call qword ptr [rip+0x1000]
jmp qword ptr [r11+rax*8]
notrack jmp rax
bnd jmp rax
xchg r8, rax
xchg rax, rax
xchg eax, r9d
cqo
cdqe
lock cmpxchg16b [rdi]
lock xadd qword ptr [rdi], rax
xacquire lock add dword ptr [rax], 1
xrelease mov dword ptr [rax], 0
rdrand rax
rdseed ecx
rdpid rax
rdfsbase rax
wrgsbase rcx
xsave64 [rsp]
xrstor64 [rsp]
xsavec [rsp+0x40]
fxrstor64 [rax]
syscall
sysretq
swapgs
rdtscp
xgetbv
xend
xtest
xabort 0x12
pause
endbr64
crc32 rax, qword ptr [rdi]
crc32 eax, word ptr [rdi]
adcx rax, rbx
adox eax, ebx
movbe rax, [rdi]
popcnt r8, r9
lzcnt ax, bx
tzcnt rax, [rdi]
bsf eax, ecx
bsr rax, rcx
andn rax, rbx, rcx
bextr eax, ecx, edx
blsr rax, [rdi]
blsmsk eax, ecx
blsi rax, rcx
bzhi rax, rbx, rcx
pdep rax, rbx, rcx
pext eax, ebx, [rdi]
mulx r8, r9, r10
rorx rax, rbx, 5
sarx eax, ecx, edx
shlx rax, rbx, rcx
shrx eax, [rdi], ecx
movd xmm0, eax
movq xmm1, rax
movq rax, xmm1
movd ecx, xmm2
movq xmm0, xmm1
movq xmm0, qword ptr [rdi]
movq qword ptr [rdi], xmm0
movss xmm0, dword ptr [rdi]
movsd xmm0, xmm1
movlps xmm0, [rdi]
movhlps xmm0, xmm1
movlhps xmm0, xmm1
movhpd xmm0, [rdi]
unpcklps xmm0, xmm1
cvtsi2ss xmm0, rax
cvtsi2sd xmm0, dword ptr [rdi]
cvttss2si rax, xmm0
cvtsd2si eax, qword ptr [rdi]
cvtps2pd xmm0, xmm1
cvtpd2ps xmm0, xmm1
cvtdq2pd xmm0, xmm1
cvttpd2dq xmm0, xmm1
ucomisd xmm0, xmm1
comiss xmm0, dword ptr [rdi]
sqrtsd xmm0, xmm1
maxps xmm0, xmm1
andnpd xmm0, xmm1
shufps xmm0, xmm1, 0x44
cmpeqsd xmm0, xmm1
cmpnltpd xmm0, [rdi]
cmpps xmm0, xmm1, 9
movmskpd eax, xmm0
movntdq [rdi], xmm0
movntdqa xmm0, [rdi]
movnti [rdi], rax
lddqu xmm0, [rdi]
psrldq xmm0, 4
pslldq xmm1, 8
psllq xmm0, xmm1
psraw xmm0, 2
pmaddwd xmm0, xmm1
pmuludq xmm0, xmm1
pmulld xmm0, xmm1
pminsd xmm0, xmm1
pmaxub xmm0, [rdi]
pavgb xmm0, xmm1
psadbw xmm0, xmm1
packusdw xmm0, xmm1
pmovzxbw xmm0, xmm1
pmovsxdq xmm0, qword ptr [rdi]
pmovzxbd xmm0, dword ptr [rdi]
pmovzxbq xmm0, word ptr [rdi]
ptest xmm0, xmm1
pblendvb xmm0, xmm1, xmm0
blendvps xmm0, xmm1, xmm0
pblendw xmm0, xmm1, 0xf0
roundsd xmm0, xmm1, 4
pextrb eax, xmm0, 1
pextrb byte ptr [rdi], xmm0, 1
pextrd eax, xmm0, 1
pextrq rax, xmm0, 1
pinsrb xmm0, eax, 3
pinsrq xmm0, rax, 1
insertps xmm0, xmm1, 0x10
extractps eax, xmm0, 1
pcmpistri xmm0, [rdi], 0x1a
pcmpestrm xmm0, xmm1, 0x40
pcmpgtq xmm0, xmm1
pclmulqdq xmm0, xmm1, 0
pclmulqdq xmm0, xmm1, 0x11
pclmulqdq xmm0, xmm1, 2
aesenc xmm0, xmm1
aesdeclast xmm0, [rdi]
aesimc xmm0, xmm1
aeskeygenassist xmm0, xmm1, 1
sha256rnds2 xmm0, xmm1, xmm0
sha1rnds4 xmm0, xmm1, 3
sha1msg1 xmm0, xmm1
haddps xmm0, xmm1
addsubpd xmm0, xmm1
movddup xmm0, xmm1
movshdup xmm0, xmm1
maskmovdqu xmm0, xmm1
pshufhw xmm0, xmm1, 0x1b
pshuflw xmm0, [rdi], 0x1b
punpckhqdq xmm0, xmm1
packsswb mm0, mm1
pshufw mm0, mm1, 0x1b
pmovmskb eax, mm0
movq2dq xmm0, mm0
movdq2q mm0, xmm0
ldmxcsr [rsp]
stmxcsr dword ptr [rsp]
clflushopt [rdi]
clwb [rdi]
prefetchw [rdi]
prefetcht2 [rdi]
vmovups ymm0, [rdi]
vmovups [rdi], ymm1
vmovss xmm0, xmm1, xmm2
vmovss xmm0, dword ptr [rdi]
vmovsd qword ptr [rdi], xmm1
vmovlps xmm0, xmm1, qword ptr [rdi]
vmovhps qword ptr [rdi], xmm0
vbroadcastss ymm0, dword ptr [rdi]
vbroadcastsd ymm0, xmm1
vbroadcastf128 ymm0, [rdi]
vbroadcasti128 ymm0, [rdi]
vinserti128 ymm0, ymm1, xmm2, 1
vextracti128 xmm0, ymm1, 1
vextractf128 [rdi], ymm1, 0
vperm2i128 ymm0, ymm1, ymm2, 0x20
vpermq ymm0, ymm1, 0xd8
vpermd ymm0, ymm1, [rdi]
vpermilps ymm0, ymm1, 0x1b
vpblendd ymm0, ymm1, ymm2, 0xf0
vblendvps ymm0, ymm1, ymm2, ymm3
vpblendvb xmm0, xmm1, [rdi], xmm3
vpsllvd ymm0, ymm1, ymm2
vpsrlvq xmm0, xmm1, xmm2
vpsravd ymm0, ymm1, [rdi]
vpgatherdd ymm0, [rax+ymm1*4], ymm2
vpgatherqq ymm0, [rax+ymm1*8], ymm2
vgatherdpd ymm0, [rax+xmm1*8], ymm2
vgatherqps xmm0, [rax+ymm1*4], xmm2
vpmaskmovd ymm0, ymm1, [rdi]
vmaskmovps [rdi], ymm1, ymm2
vtestps ymm0, ymm1
vptest ymm0, [rdi]
vcvtph2ps ymm0, xmm1
vcvtps2ph xmm0, ymm1, 4
vcvtpd2ps xmm0, ymm1
vcvttpd2dq xmm0, ymm1
vcvtdq2pd ymm0, xmm1
vcvtsi2sd xmm0, xmm1, rax
vcvtss2sd xmm0, xmm1, xmm2
vfmadd132ps ymm0, ymm1, ymm2
vfmadd213sd xmm0, xmm1, qword ptr [rdi]
vfnmsub231pd ymm0, ymm1, [rdi]
vfmaddsub132ps xmm0, xmm1, xmm2
vfmaddsd xmm0, xmm1, xmm2, xmm3
vfmaddsd xmm0, xmm1, qword ptr [rdi], xmm3
vfmaddsd xmm0, xmm1, xmm3, qword ptr [rdi]
vfmaddps ymm0, ymm1, [rdi+rax*4+0x20], ymm3
vzeroall
vpxor xmm8, xmm9, xmm15
vpand ymm10, ymm11, [r12+r13*2]
vpshufb ymm0, ymm1, [rip+0x40]
vpalignr ymm0, ymm1, ymm2, 8
vpsrldq ymm0, ymm1, 4
vpsrlw ymm0, ymm1, xmm2
vpsraw ymm0, ymm1, 3
vpackuswb ymm0, ymm1, ymm2
vpmovmskb eax, ymm0
vmovmskps eax, ymm0
vpextrw eax, xmm0, 3
vpinsrd xmm0, xmm1, dword ptr [rdi], 2
vpcmpestri xmm0, xmm1, 0x1a
vpclmulqdq ymm0, ymm1, ymm2, 0x10
vaesenc ymm0, ymm1, ymm2
vcmpneq_oqps ymm0, ymm1, ymm2
vcmpge_oqsd xmm0, xmm1, xmm2
vcmpps ymm0, ymm1, ymm2, 0x20
vroundps ymm0, ymm1, 8
vdpps ymm0, ymm1, ymm2, 0xff
vmpsadbw ymm0, ymm1, ymm2, 1
vldmxcsr [rsp]
vmovd xmm0, dword ptr [rdi]
vmovq xmm0, rax
vmovq rax, xmm0
vmovddup ymm0, ymm1
vmovddup xmm0, qword ptr [rdi]
vlddqu ymm0, [rdi]
vmovntdqa ymm0, [rdi]
vphminposuw xmm0, xmm1
vpmovzxwd ymm0, xmm1
vpmovsxbq ymm0, dword ptr [rdi]
kmovw k1, k2
kmovw k1, word ptr [rdi]
kmovw word ptr [rdi], k1
kmovb k1, eax
kmovq rax, k1
kmovd k1, dword ptr [rdi]
kandw k1, k2, k3
kandnq k1, k2, k3
korb k1, k2, k3
kxnord k1, k2, k3
kxorw k1, k2, k3
kaddq k1, k2, k3
knotw k1, k2
kortestq k1, k2
ktestd k1, k2
kunpckbw k1, k2, k3
kunpckdq k1, k2, k3
kshiftlq k1, k2, 5
kshiftrw k1, k2, 3
vaddps zmm0, zmm1, zmm2
vaddps zmm0{k1}{z}, zmm1, dword ptr [rax]{1to16}
vaddpd zmm0{k1}, zmm1, qword ptr [rax+0x40]{1to8}
vaddps zmm0, zmm1, zmm2, {rn-sae}
vaddsd xmm0, xmm1, xmm2, {rz-sae}
vmaxps zmm0, zmm1, zmm2, {sae}
vaddps zmm0, zmm1, [rax+0x1000]
vaddps zmm0, zmm1, [rax-0x40]
vaddps ymm16, ymm17, ymm31
vmovdqa32 zmm0{k7}, [rdi]
vmovdqa64 [rdi]{k1}, zmm31
vmovdqu16 zmm0, zmm1
vmovdqu32 ymm0{k1}{z}, [rdi+0x20]
vmovups zmm0{k1}, [rdi]
vmovaps [rdi+0x40], zmm3
vpandq zmm0, zmm1, qword ptr [rax]{1to8}
vpandnd zmm0, zmm1, zmm2
vpord ymm0, ymm1, dword ptr [rax]{1to8}
vpxorq xmm16, xmm17, xmm18
vpternlogd zmm0, zmm1, zmm2, 0x96
vpternlogq zmm0, zmm1, [rdi], 0xe8
vpcmpeqb k1, zmm0, zmm1
vpcmpeqd k1{k2}, zmm0, dword ptr [rdi]{1to16}
vpcmpgtq k1, ymm0, ymm1
vpcmpub k1, zmm0, zmm1, 1
vpcmpub k1, zmm0, zmm1, 3
vpcmpuw k1, zmm0, zmm1, 4
vpcmpb k1, zmm0, zmm1, 2
vpcmpd k1, zmm0, zmm1, 5
vpcmpuq k1, zmm0, [rdi], 6
vpcmpeqb k1, zmm0, [rdi]
vptestmb k1, zmm0, zmm1
vptestnmd k1{k2}, zmm0, zmm1
vpminub zmm0{k1}{z}, zmm1, zmm2
vpminud zmm0, zmm1, dword ptr [rdi]{1to16}
vpminuq zmm0, zmm1, zmm2
vpmaxsq zmm0, zmm1, zmm2
vpmullq zmm0, zmm1, zmm2
vpabsq zmm0, zmm1
vpbroadcastb zmm0, xmm1
vpbroadcastb zmm0, eax
vpbroadcastw zmm0, ecx
vpbroadcastd zmm0, eax
vpbroadcastq zmm0, rax
vpbroadcastq zmm0, qword ptr [rdi]
vbroadcasti32x4 zmm0, [rdi]
vbroadcasti64x4 zmm0, [rdi]
vbroadcastf32x8 zmm0, [rdi]
vbroadcastsd zmm0, xmm1
vinserti32x4 zmm0, zmm1, xmm2, 3
vinserti64x4 zmm0, zmm1, ymm2, 1
vextracti32x4 xmm0, zmm1, 2
vextracti64x4 ymm0, zmm1, 1
vextractf64x2 [rdi], zmm1, 1
vshufi32x4 zmm0, zmm1, zmm2, 0x44
valignq zmm0, zmm1, zmm2, 3
vpermb zmm0, zmm1, zmm2
vpermw zmm0, zmm1, zmm2
vpermq zmm0, zmm1, zmm2
vpermq zmm0, zmm1, 0x4e
vpermi2b zmm0, zmm1, zmm2
vpermt2d zmm0, zmm1, zmm2
vpermt2ps zmm0, zmm1, zmm2
vpblendmb zmm0{k1}, zmm1, zmm2
vpblendmq zmm0{k1}, zmm1, zmm2
vblendmps zmm0{k1}, zmm1, zmm2
vpmovwb ymm0, zmm1
vpmovdb xmm0, zmm1
vpmovqb xmm0, zmm1
vpmovdw ymm0, zmm1
vpmovqd [rdi], zmm1
vpmovuswb ymm0, zmm1
vpmovsqd ymm0, zmm1
vpmovzxbw zmm0, ymm1
vpmovm2b zmm0, k1
vpmovb2m k1, zmm0
vpmovd2m k1, zmm0
vpmovm2q zmm0, k1
vpcompressd zmm0{k1}, zmm1
vpexpandq zmm0{k1}{z}, zmm1
vpconflictd zmm0, zmm1
vplzcntq zmm0, zmm1
vpopcntd zmm0, zmm1
vpopcntb zmm0, zmm1
vpshufbitqmb k1, zmm0, zmm1
vpmultishiftqb zmm0, zmm1, zmm2
vpdpbusd zmm0, zmm1, zmm2
vpshldd zmm0, zmm1, zmm2, 5
vpshrdvq zmm0, zmm1, zmm2
vprold zmm0, zmm1, 3
vprorvq zmm0, zmm1, zmm2
vpsraq zmm0, zmm1, 3
vpsraq zmm0, zmm1, xmm2
vpsrlw zmm0, zmm1, 3
vpslld zmm0, dword ptr [rdi]{1to16}, 3
vpsrlvw zmm0, zmm1, zmm2
vpgatherdd zmm0{k1}, [rax+zmm1*4]
vpgatherdq zmm0{k1}, [rax+ymm1*8]
vpgatherqd ymm0{k1}, [rax+zmm1*4]
vgatherqpd zmm0{k1}, [rax+zmm1*8+0x40]
vpscatterdd [rax+zmm1*4]{k1}, zmm0
vscatterqps [rax+zmm1*4]{k1}, ymm0
vcvtdq2ps zmm0, zmm1
vcvtps2pd zmm0, ymm1
vcvtpd2ps ymm0, zmm1
vcvtqq2pd zmm0, zmm1
vcvttpd2uqq zmm0, zmm1
vcvtudq2ps zmm0, zmm1
vcvtusi2sd xmm0, xmm1, rax
vcvttsd2usi eax, xmm0
vcvtps2dq zmm0, zmm1, {rn-sae}
vcmpps k1, zmm0, zmm1, 1
vcmplt_oqpd k1{k2}, zmm0, zmm1
vcmpsd k1, xmm0, xmm1, 0
vfmadd231ps zmm0{k1}, zmm1, dword ptr [rdi]{1to16}
vfmadd213pd zmm0, zmm1, zmm2, {rd-sae}
vfnmadd132ss xmm0{k1}, xmm1, dword ptr [rdi]
vgetexpps zmm0, zmm1
vgetmantpd zmm0, zmm1, 2
vscalefps zmm0, zmm1, zmm2
vrndscaleps zmm0, zmm1, 4
vrcp14ps zmm0, zmm1
vrsqrt14pd zmm0, zmm1
vreduceps zmm0, zmm1, 4
vrangepd zmm0, zmm1, zmm2, 5
vfixupimmps zmm0, zmm1, zmm2, 0
vfpclassps k1, zmm0, 4
vsqrtps zmm0, zmm1
vsqrtsd xmm0, xmm1, xmm2
vunpcklpd zmm0, zmm1, zmm2
vshufps zmm0, zmm1, zmm2, 0x1b
vpshufd zmm0, zmm1, 0x1b
vpunpckldq zmm0, zmm1, zmm2
vpackssdw zmm0, zmm1, zmm2
vpsadbw zmm0, zmm1, zmm2
vpmaddubsw zmm0, zmm1, zmm2
vmovq xmm16, xmm17
vmovd xmm16, eax
vmovdqu8 zmm16{k1}{z}, [r8+r9*2+0x80]
vpaddd zmm0, zmm1, [rip+0x100]
vgf2p8affineqb zmm0, zmm1, zmm2, 0
vgf2p8mulb zmm0, zmm1, zmm2
vaesenclast zmm0, zmm1, zmm2
vpclmulqdq zmm0, zmm1, zmm2, 1
vdbpsadbw zmm0, zmm1, zmm2, 4
vmovntdq [rdi], zmm0
vmovntps [rdi], zmm0
vpsubq zmm0, zmm1, zmm2
vpmuludq zmm0, zmm1, zmm2
vpabsb zmm0, zmm1
vpmulhrsw zmm0, zmm1, zmm2
vexpandps zmm0{k1}, zmm1
vcompresspd zmm0{k1}, zmm1
rep movsq
rep stosb
repne scasb
lodsq
{evex} vpaddd ymm0, ymm1, ymm2
{evex} vaddss xmm0, xmm1, xmm2
{evex} vmovdqu32 ymm0, [rdi]
vpcmpeqb k1, ymm1, ymm2
vpaddd ymm16, ymm1, ymm2
