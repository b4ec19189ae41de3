placeholder boot file: minimal start-up of release R16B
