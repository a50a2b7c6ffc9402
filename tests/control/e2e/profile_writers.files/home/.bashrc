export PATH=/usr/bin
