# The programs of an MSVC build, checked as the Windows stage checks the
# MinGW ones: console programs for the machine asked for, with a random
# base, no-execute data, a high-entropy random base on 64-bit, the stack
# protector's cookie, an asInvoker, long-path-aware manifest naming Windows
# 7 to 11, a version resource, and the failure statuses as Windows gives
# them: hexburn's -1 as -1 (0xFFFFFFFF), dimblank's 1 as 1.
param(
    [Parameter(Mandatory)][string]$Folder,  # the build folder
    [Parameter(Mandatory)][string]$Config,  # Release or Debug
    [Parameter(Mandatory)][ValidateSet('x64', 'Win32')][string]$Arch
)
$ErrorActionPreference = 'Stop'
$vswhere = "${env:ProgramFiles(x86)}\Microsoft Visual Studio\Installer\vswhere.exe"
$dumpbin = & $vswhere -latest -find 'VC\Tools\MSVC\*\bin\Hostx64\x64\dumpbin.exe' | Select-Object -First 1
if (-not $dumpbin) { throw 'no dumpbin.exe in the Visual Studio of this machine' }
$machine = @{ x64 = 'machine \(x64\)'; Win32 = 'machine \(x86\)' }[$Arch]
$problems = @()
foreach ($program in 'dimblank', 'hexburn', 'dimpatch') {
    $exe = Join-Path $Folder "$program\$Config\$program.exe"
    $headers = & $dumpbin /nologo /headers $exe | Out-String
    $wanted = @($machine, 'subsystem \(Windows CUI\)', 'Dynamic base', 'NX compatible')
    if ($Arch -eq 'x64') { $wanted += 'High Entropy Virtual Addresses' }
    foreach ($property in $wanted) {
        if ($headers -notmatch $property) { $problems += "${exe}: no '$property' in its headers" }
    }
    if ((& $dumpbin /nologo /loadconfig $exe | Out-String) -notmatch 'Security Cookie') {
        $problems += "${exe}: no stack protector cookie"
    }
    $bytes = [System.IO.File]::ReadAllBytes($exe)
    $text = [System.Text.Encoding]::ASCII.GetString($bytes)
    if ($text -notmatch 'level="asInvoker"') { $problems += "${exe}: no asInvoker manifest" }
    if ($text -notmatch '<longPathAware[^>]*>true</longPathAware>') { $problems += "${exe}: not long-path aware" }
    $systems = [regex]::Matches($text, '<supportedOS Id="\{[0-9a-f-]*\}"/>') | ForEach-Object Value | Sort-Object -Unique
    if (@($systems).Count -ne 4) { $problems += "${exe}: does not name Windows 7, 8, 8.1 and 10/11" }
    if (-not [System.Text.Encoding]::Unicode.GetString($bytes).Contains("$program.exe")) {
        $problems += "${exe}: no version resource"
    }
}
& (Join-Path $Folder "hexburn\$Config\hexburn.exe") nonexistent\in.hex (Join-Path $Folder out.rom)
if ($LASTEXITCODE -ne -1) { $problems += "hexburn.exe gave $LASTEXITCODE for a missing input, not -1" }
& (Join-Path $Folder "dimblank\$Config\dimblank.exe") (Join-Path $Folder "no\such\folder\disk.img")
if ($LASTEXITCODE -ne 1) { $problems += "dimblank.exe gave $LASTEXITCODE for a missing folder, not 1" }
if ($problems) {
    $problems | ForEach-Object { Write-Output "::error::$_" }
    exit 1
}
Write-Output "MSVC $Arch ${Config}: console programs with DYNAMIC_BASE, NX_COMPAT (HIGH_ENTROPY_VA on x64), the stack protector, an asInvoker, long-path-aware manifest naming Windows 7 to 11, a version resource, hexburn -1 and dimblank 1 as Windows reports them"
