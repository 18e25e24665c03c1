@ECHO off
ECHO Setting up
mkdir "C:\Grabung Sued 2\pmvs\txt\\"
mkdir C:\site\x\
echo a b> C:\site\m0.txt
echo c d>> "C:\site\m 1.txt"
type C:\site\m0.txt "C:\site\m 1.txt" > C:\site\all.txt
if exist C:\site\all.txt rm C:\site\m0.txt
if not exist C:\site\none.txt ECHO none
echo ECHO nested> C:\site\n.bat
C:\site\n.bat
echo C:\site\self.bat> C:\site\self.bat
cmd /c C:\site\self.bat
cd /d C:\site\x
cd ..\..
C:\Tools\tool.exe "a b" c > out.txt
rem done
