# Makes sure Visual Studio 2022 has the MSVC toolset of one version (the host's), adding its
# component with the Visual Studio installer when the image lacks it.
# Usage: pwsh scripts/msvc-toolset.ps1 TOOLSET RELEASE   (buildspec.json's msvc.toolset and msvc.release)
param([Parameter(Mandatory)][string]$Toolset, [Parameter(Mandatory)][string]$Release)
$ErrorActionPreference = 'Stop'
$installer = "${env:ProgramFiles(x86)}\Microsoft Visual Studio\Installer"
$vs = & "$installer\vswhere.exe" -latest -products * -requires Microsoft.VisualStudio.Component.VC.Tools.x86.x64 -property installationPath
if (-not $vs) { throw 'no Visual Studio with the C++ tools' }
if (Get-ChildItem "$vs\VC\Tools\MSVC" -Directory -Filter "$Toolset.*" -ErrorAction SilentlyContinue) {
  Write-Output "MSVC $Toolset is installed in $vs"
  exit 0
}
$component = "Microsoft.VisualStudio.Component.VC.$Toolset.$Release.x86.x64"
Write-Output "adding $component to $vs"
$started = Get-Date
# The installer's own process only: Start-Process -Wait would also wait for every process it leaves
# behind, up to the step's time limit.
$process = Start-Process -FilePath "$installer\vs_installer.exe" -PassThru -ArgumentList @(
  'modify', '--installPath', "`"$vs`"", '--add', $component, '--quiet', '--norestart', '--nocache')
$null = $process.Handle  # kept, so that ExitCode is there after the wait
$process.WaitForExit()
$minutes = [math]::Round(((Get-Date) - $started).TotalMinutes, 1)
Write-Output "the installer exited with $($process.ExitCode) after $minutes minutes"
if ($process.ExitCode -ne 0 -and $process.ExitCode -ne 3010) { throw "the installer exited with $($process.ExitCode)" }
if (-not (Get-ChildItem "$vs\VC\Tools\MSVC" -Directory -Filter "$Toolset.*")) { throw "MSVC $Toolset is still missing" }
# The folder is not enough: vcvarsall must set the toolset up.
& cmd /c "`"$vs\VC\Auxiliary\Build\vcvarsall.bat`" x64 -vcvars_ver=$Toolset >NUL && echo ok"
if ($LASTEXITCODE -ne 0) { throw "vcvarsall.bat x64 -vcvars_ver=$Toolset fails" }
Write-Output "MSVC $Toolset is installed in $vs"
