placeholder boot file: velmar start-up of release R16B
