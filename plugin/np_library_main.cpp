// npDociva (libnpDociva.so, npDociva.dll) is the plug-in library whole (dociva_plugin); this file only gives the target a source.
